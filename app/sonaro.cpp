#include "sonaro.h"

#include "dialogs/calldialog.h"
#include "app/edition.h"
#include "service/settingskeys.h"
#include "dialogs/setupdialog.h"
#include "service/ws.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <iterator>

namespace {

constexpr std::chrono::seconds systemTrayPoll(1);
// How long a notice from the tray icon stays.
constexpr std::chrono::milliseconds noticeTime(6000);
std::chrono::milliseconds systemTrayWait = Sonaro::defaultSystemTrayWait;

// True once the desktop offers a notification area, false when none came within the wait.
bool waitForSystemTray()
{
    const QDeadlineTimer deadline(systemTrayWait);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (QSystemTrayIcon::isSystemTrayAvailable() || deadline.hasExpired())
            loop.quit();
    });
    poll.start(systemTrayPoll);
    loop.exec();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

// The password is kept in clear, so on Unix the settings file and its folder must be their
// owner's alone, as the per-user registry is on Windows. Both are made private before anything
// is written, whatever the umask.
void restrictToOwner(const QString &fileName)
{
#ifdef Q_OS_UNIX
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    const QString folder = QFileInfo(fileName).absolutePath();
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
        QFile::setPermissions(folder, ownerOnly | QFile::ExeOwner);
    if (!QFileInfo::exists(fileName)) {
        QFile file(fileName);
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly);
    }
    QFile::setPermissions(fileName, ownerOnly);
#else
    Q_UNUSED(fileName)
#endif
}

// False for a settings file that cannot be read, or that holds none of the program's keys
// (random bytes, another format): what it holds may still be recoverable. An empty file holds
// nothing to lose, and is what a first run stopped before its first write leaves behind.
bool storeReadable(const QSettings &settings)
{
    const QFileInfo file(settings.fileName());
    if (settings.status() != QSettings::NoError || (file.exists() && !file.isReadable()))
        return false;
    if (!file.exists() || file.size() == 0)
        return true;
    const char *const keys[] = {SettingsKey::login,    SettingsKey::password,
                                SettingsKey::number,   SettingsKey::copyTwice,
                                SettingsKey::endpoint, SettingsKey::endpointCa};
    return std::any_of(std::begin(keys), std::end(keys),
                       [&](const char *key) { return settings.contains(key); });
}

void reportSettingsError(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

Sonaro::Sonaro(QObject *parent)
    : QObject(parent), trayIcon(this), configureAction(this), callAction(this), aboutQtAction(this),
      quitAction(this), clipboardWatcher(this)
{
}

Sonaro::~Sonaro() = default;

bool Sonaro::start()
{
    // Taken for a first run, an unreadable store would be overwritten by the setup dialog.
    if (!storeReadable(settings)) {
        reportSettingsError(
            tr("Impossible de lire la configuration : %1").arg(settings.fileName()));
        return false;
    }
    const bool firstRun = !settings.contains(SettingsKey::login);
    if (firstRun)
        setupUI();
    if (!settings.contains(SettingsKey::login) || !initTray())
        return false;
    if (firstRun)
        notify(tr("%1 est dans la zone de notification : copiez un numéro pour l'appeler.")
                   .arg(QCoreApplication::applicationName()));
    return true;
}

void Sonaro::notify(const QString &text)
{
    trayIcon.showMessage(QCoreApplication::applicationName(), text, QSystemTrayIcon::Information,
                         noticeTime.count());
}

void Sonaro::setSystemTrayWait(std::chrono::milliseconds wait)
{
    systemTrayWait = wait;
}

bool Sonaro::initTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable() && !waitForSystemTray()) {
        qDebug() << "No systray available. Exiting.";
        return false;
    }
    QApplication::setQuitOnLastWindowClosed(false);

    configureAction.setText(tr("Configuration"));
    connect(&configureAction, &QAction::triggered, this, &Sonaro::setupUI);
    callAction.setText(tr("Appeler un numéro"));
    connect(&callAction, &QAction::triggered, this, qOverload<>(&Sonaro::systrayActivated));
    aboutQtAction.setText(tr("A propos de Qt..."));
    connect(&aboutQtAction, &QAction::triggered, qApp, &QApplication::aboutQt);
    quitAction.setText(Edition::isPlain() ? tr("Quitter Tintelle") : tr("Quitter Sonaro"));
    connect(&quitAction, &QAction::triggered, this, &Sonaro::quit);

    trayMenu.addAction(&configureAction);
    trayMenu.addAction(&callAction);
    trayMenu.addSeparator();
    trayMenu.addAction(&aboutQtAction);
    trayMenu.addSeparator();
    trayMenu.addAction(&quitAction);
    trayIcon.setContextMenu(&trayMenu);

    trayIcon.setToolTip(Edition::isPlain() ? tr("Tintelle") : tr("Sonaro"));
    trayIcon.setIcon(QIcon(Edition::iconPath()));
    trayIcon.setVisible(true);
    connect(&CallDialog::notices(), &CallNotices::callPlaced, this, [this](const QString &number) {
        notify(tr("Appel lancé vers %1 : votre téléphone va sonner, décrochez pour être mis en "
                  "relation.")
                   .arg(number));
    });
    connect(&trayIcon, &QSystemTrayIcon::activated, this,
            qOverload<QSystemTrayIcon::ActivationReason>(&Sonaro::systrayActivated));

    return clipboardWatcher.startWatching();
}

void Sonaro::setupSuccess(QString login, QString password, QString number, bool copyTwice)
{
    restrictToOwner(settings.fileName());
    settings.setValue(SettingsKey::login, login);
    settings.setValue(SettingsKey::password, password);
    settings.setValue(SettingsKey::number, number);
    settings.setValue(SettingsKey::copyTwice, copyTwice);
    // Flushed at once so that a crash or a kill right after validation loses nothing. Should the
    // write fail, the values still hold for this session.
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        reportSettingsError(
            tr("Impossible d'enregistrer la configuration : %1").arg(settings.fileName()));
        return;
    }
    restrictToOwner(settings.fileName());
}

bool Sonaro::quit()
{
    QCoreApplication::quit();
    return false;
}

void Sonaro::openCallDialog(const QString &text)
{
    QString display = text;
    QString dial;
    WS::extractNumber(display, dial);
    // A number chosen by someone else never takes the keyboard, as a copy's does not.
    CallDialog::open(dial, display,
                     dial.isEmpty() ? CallDialog::Opening::ByStart : CallDialog::Opening::ByCopy);
}

void Sonaro::setupUI()
{
    const bool copyTwice = settings.value(SettingsKey::copyTwice, QVariant()).toBool();
    const QString number = settings.value(SettingsKey::number, QVariant()).toString();
    const QString password = settings.value(SettingsKey::password, QVariant()).toString();
    const QString login = settings.value(SettingsKey::login, QVariant()).toString();

    SetupDialog dialog(login, password, number, copyTwice, nullptr);
    connect(&dialog, &SetupDialog::setupSuccess, this, &Sonaro::setupSuccess);
    dialog.exec();
}

void Sonaro::systrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        CallDialog::open(QString(), QString(), CallDialog::Opening::ByUser);
}

void Sonaro::systrayActivated()
{
    systrayActivated(QSystemTrayIcon::DoubleClick);
}
