#include "app/commandline.h"
#include "app/edition.h"
#include "app/platformchoice.h"
#include "app/singleinstance.h"
#include "app/sonaro.h"

#include <QApplication>
#include <QIcon>
#include <QMetaObject>

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = CommandLine::answer(argc, argv))
        return *status;
    PlatformChoice::preferX11OnWayland();
    QApplication app(argc, argv);
    const CommandLine commandLine(QCoreApplication::arguments());
    if (!commandLine.isValid())
        return 2;
    Edition::selectForExecutable(QCoreApplication::applicationFilePath());

    // Before any window: a later start of the same edition only hands its request over.
    SingleInstance instance(SingleInstance::serverNameForEdition());
    if (instance.handOver(commandLine.linkText()))
        return 0;

    Sonaro sonaro;
    QApplication::setWindowIcon(QIcon(Edition::iconPath()));
    if (!sonaro.start())
        return 1;
    QObject::connect(&instance, &SingleInstance::requested, &sonaro, &Sonaro::openCallDialog);
    if (commandLine.hasLink())
        QMetaObject::invokeMethod(
            &sonaro, [&] { sonaro.openCallDialog(commandLine.linkText()); }, Qt::QueuedConnection);
    instance.acceptRequests();
    return app.exec();
}
