#include "app/callopener.h"
#include "app/commandline.h"
#include "app/copyhandler.h"
#include "app/platformchoice.h"
#include "app/privateplace.h"
#include "app/settingsfile.h"
#include "app/singleinstance.h"
#include "app/sonaro.h"
#include "edition/edition.h"

#include <QApplication>
#include <QDebug>
#include <QIcon>
#include <QMessageBox>
#include <QMetaObject>

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = CommandLine::handleHelpAndVersion(argc, argv))
        return *status;
    PlatformChoice::preferX11OnWayland();
    QApplication app(argc, argv);
    const CommandLine commandLine(QCoreApplication::arguments());
    if (!commandLine.isValid())
        return 2;
    Edition::selectForExecutable(QCoreApplication::applicationFilePath());
    // Before anything reads the settings: Qt reads a file whole, and keeps it.
    if (!SettingsFile::isReadable()) {
        SettingsFile::reportUnreadable(SettingsFile::location());
        return 1;
    }

    // The session starts every installed edition for every account: one never set up stays
    // silent rather than asking for a login at each session.
    if (commandLine.isAutostart() && !Sonaro::isSetUp())
        return 0;

    // Before any window: a later start of the same edition only hands its request over.
    const QString place = PrivatePlace::folder();
    SingleInstance instance(place, QCoreApplication::applicationName().toLower());
    const bool onlyLook = commandLine.isAutostart() && !commandLine.hasLink();
    const QString request =
        commandLine.hasLink() ? CallOpener::linkRequest(commandLine.linkText()) : QString();
    switch (instance.handOver(onlyLook ? std::nullopt : std::optional(request))) {
    case SingleInstance::Start::HandedOver:
        return 0;
    case SingleInstance::Start::Unreachable:
    case SingleInstance::Start::Unavailable:
        // Never a second copy of the edition: two of them would answer the same copy.
        qWarning().noquote() << instance.refusal();
        QMessageBox(QMessageBox::Critical, QCoreApplication::applicationName(), instance.refusal(),
                    QMessageBox::Ok)
            .exec();
        return 1;
    case SingleInstance::Start::Guarded:
        break;
    }
    // Before the clipboard is watched: the edition started first answers copies.
    CopyHandler::start(place);

    Sonaro::setSystemTrayWait(commandLine.isAutostart() ? Sonaro::defaultSystemTrayWait
                                                        : Sonaro::byHandSystemTrayWait);
    Sonaro sonaro(place);
    QApplication::setWindowIcon(QIcon(Edition::iconPath()));
    if (!sonaro.start())
        return 1;
    CallOpener &opener = sonaro.callOpener();
    QObject::connect(&instance, &SingleInstance::requested, &opener, &CallOpener::openRequest);
    if (commandLine.hasLink())
        QMetaObject::invokeMethod(
            &opener, [&] { opener.open(CallOpener::Route::Link, commandLine.linkText()); },
            Qt::QueuedConnection);
    instance.acceptRequests();
    return app.exec();
}
