#include "edition.h"
#include "platformchoice.h"
#include "sonaro.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    PlatformChoice::preferX11OnWayland();
    QApplication app(argc, argv);
    Edition::selectForExecutable(QCoreApplication::applicationFilePath());

    Sonaro sonaro;
    QApplication::setWindowIcon(QIcon(Edition::iconPath()));
    if (!sonaro.start())
        return 1;
    return app.exec();
}
