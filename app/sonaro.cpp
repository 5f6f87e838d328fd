#include "sonaro.h"

#include "app/dialogclaim.h"
#include "app/edition.h"
#include "app/settingsfile.h"
#include "dialogs/calldialog.h"
#include "dialogs/setupdialog.h"
#include "service/phonenumber.h"
#include "service/settingskeys.h"
#include "service/ws.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QEventLoop>
#include <QIcon>
#include <QTimer>
#include <chrono>

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
    if (!SettingsFile::isReadable(settings)) {
        SettingsFile::reportUnreadable(settings.fileName());
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

bool Sonaro::isSetUp()
{
    const QSettings settings;
    return settings.status() != QSettings::NoError || settings.contains(SettingsKey::login);
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
    SettingsFile::restrictToOwner(settings.fileName());
    settings.setValue(SettingsKey::login, login);
    settings.setValue(SettingsKey::password, password);
    settings.setValue(SettingsKey::number, number);
    settings.setValue(SettingsKey::copyTwice, copyTwice);
    // Flushed at once so that a crash or a kill right after validation loses nothing. Should the
    // write fail, the values still hold for this session.
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        SettingsFile::reportUnwritable(settings.fileName());
        return;
    }
    SettingsFile::restrictToOwner(settings.fileName());
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
    // Someone else wrote it, often in international form: a French number is shown as it is
    // written in France, and dialled the same.
    if (!WS::extractNumber(display, dial).isEmpty())
        display = PhoneNumber::shownForm(dial);
    // One dialog per user: the other edition's comes forward instead.
    const DialogClaim claim(text);
    if (!claim.isHeld() && !CallDialog::isOpen())
        return;
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
