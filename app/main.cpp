#include "app/callopener.h"
#include "app/clipboardreader.h"
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
#ifdef Q_OS_WIN
#include <windows.h>
// After windows.h
#include <shellapi.h>
#endif

namespace {

QStringList decoded(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// The arguments as the system gave them. On Windows, from the command line itself: the link
// handler is registered as `"...\tintelle.exe" --single-argument %1`, and everything after
// " --single-argument " is the one link, whatever quotes a link holds.
QStringList systemArguments(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    const QString line = QString::fromWCharArray(::GetCommandLineW());
    const QString marker = QStringLiteral(" --single-argument ");
    // Not within the program's path, which may be quoted and hold anything.
    const qsizetype program = line.startsWith(u'"') ? line.indexOf(u'"', 1) : 0;
    const qsizetype at = line.indexOf(marker, qMax<qsizetype>(program, 0));
    int count = 0;
    wchar_t **split = ::CommandLineToArgvW(
        reinterpret_cast<const wchar_t *>(line.left(at < 0 ? line.size() : at).utf16()), &count);
    QStringList arguments;
    for (int i = 0; split && i < count; ++i)
        arguments.append(QString::fromWCharArray(split[i]));
    ::LocalFree(split);
    if (at >= 0)
        arguments << marker.trimmed() << line.mid(at + marker.size());
    return arguments;
#else
    return decoded(argc, argv);
#endif
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    if (const std::optional<int> status = ClipboardReader::serveReading(argc, argv))
        return *status;
#endif
    // Qt reads its options (-stylesheet, -platformpluginpath...) from the arguments before any
    // link only: a link may come from anyone.
    int qtArgc = CommandLine::optionCount(decoded(argc, argv));
    const QStringList arguments = systemArguments(argc, argv);
    const QStringList afterOptions = arguments.mid(CommandLine::optionCount(arguments));
    if (const std::optional<int> status = CommandLine::handleHelpAndVersion(qtArgc, argv))
        return *status;
    PlatformChoice::preferX11OnWayland();
    QApplication app(qtArgc, argv);
    const CommandLine commandLine(QCoreApplication::arguments() + afterOptions);
    if (!commandLine.isValid())
        return 2;
    Edition::selectForExecutable(QCoreApplication::applicationFilePath());
    if (commandLine.isQuit())
        return int(
            SingleInstance(PrivatePlace::folder(), QCoreApplication::applicationName().toLower())
                .stop());
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
    QObject::connect(&instance, &SingleInstance::quitRequested, &sonaro, &Sonaro::quitWhenIdle);
    if (commandLine.hasLink())
        QMetaObject::invokeMethod(
            &opener, [&] { opener.open(CallOpener::Route::Link, commandLine.linkText()); },
            Qt::QueuedConnection);
    instance.acceptRequests();
    return app.exec();
}
