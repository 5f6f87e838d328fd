#include "sonaro.h"

#include "app/settingsfile.h"
#include "dialogs/calldialog.h"
#include "dialogs/setupdialog.h"
#include "edition/edition.h"
#include "service/settingskeys.h"
#include "service/ws.h"

#include <QApplication>
#include <QChildEvent>
#include <QDeadlineTimer>
#include <QDebug>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <chrono>

namespace {

constexpr std::chrono::seconds systemTrayPoll(1);
// How long a notice from the tray icon stays.
constexpr std::chrono::milliseconds noticeTime(6000);
std::chrono::milliseconds systemTrayWait = Sonaro::defaultSystemTrayWait;

// WORKAROUND: Qt's about box always runs modal, to the whole program unless it was made modal to
// its parent before it shows. This hidden parent does that to the box as it gets it, and centres
// it.
class AboutHost : public QWidget
{
public:
    AboutHost()
    {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            setGeometry(screen->availableGeometry());
    }

protected:
    void childEvent(QChildEvent *event) override
    {
        if (event->type() == QEvent::ChildPolished && event->child()->isWidgetType())
            static_cast<QWidget *>(event->child())->setWindowModality(Qt::WindowModal);
    }
};

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

Sonaro::Sonaro(const QString &place, QObject *parent)
    : QObject(parent), opener(place, this), trayIcon(this), configureAction(this), callAction(this),
      aboutQtAction(this), quitAction(this), clipboardWatcher(this)
{
}

Sonaro::~Sonaro()
{
    delete setupDialog;
}

bool Sonaro::start()
{
    // Taken for a first run, an unreadable store would be overwritten by the setup dialog.
    if (!SettingsFile::isReadable()) {
        SettingsFile::reportUnreadable(settings.fileName());
        return false;
    }
    const bool firstRun = !settings.contains(SettingsKey::login);
    if (firstRun)
        setupUI();
    if (!settings.contains(SettingsKey::login) || !initTray())
        return false;
    QStringList notice;
    if (firstRun)
        notice << tr("%1 est dans la zone de notification : copiez un numéro pour l'appeler.")
                      .arg(QCoreApplication::applicationName());
    // Said now rather than at the first "Appeler". The option alone on its line, so that it is
    // never cut.
    if (!WS::knowsProvider(settings))
        notice << tr("Aucun service d'appel n'est indiqué : les appels échoueront. Indiquez "
                     "l'adresse https:// du service dans le réglage \"endpoint\" de %1, ou faites "
                     "reconstruire le programme avec :")
                      .arg(settings.fileName())
               << QStringLiteral("-DTINTELLE_SOAP_HOST=") + tr("hôte");
    if (!notice.isEmpty())
        notify(notice.join(QLatin1Char('\n')));
    return true;
}

bool Sonaro::isSetUp()
{
    const QSettings settings;
    return settings.status() != QSettings::NoError || settings.contains(SettingsKey::login);
}

void Sonaro::notify(const QString &text)
{
    // Also where a desktop without notices keeps it.
    qDebug().noquote() << "Notice:" << text;
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
    connect(&aboutQtAction, &QAction::triggered, this, &Sonaro::aboutQt);
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
    connect(&opener, &CallOpener::notice, this, &Sonaro::notify);
    // Direct: a copy's dialog runs within the watcher's slot, as the copy-twice count expects.
    connect(&clipboardWatcher, &SonaroClipboard::numberCopied, this,
            [this](const QString &text) { opener.open(CallOpener::Route::Copy, text); });
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

void Sonaro::setupUI()
{
    if (setupDialog) {
        setupDialog->raise();
        setupDialog->activateWindow();
        return;
    }
    const bool copyTwice = settings.value(SettingsKey::copyTwice, QVariant()).toBool();
    const QString number = settings.value(SettingsKey::number, QVariant()).toString();
    const QString password = settings.value(SettingsKey::password, QVariant()).toString();
    const QString login = settings.value(SettingsKey::login, QVariant()).toString();

    auto dialog = std::make_unique<SetupDialog>(login, password, number, copyTwice, nullptr);
    connect(dialog.get(), &SetupDialog::setupSuccess, this, &Sonaro::setupSuccess);
    if (!trayIcon.isVisible()) {
        dialog->exec();
        return;
    }
    // Not modal: a call dialog that a copy opens above it leaves it the keyboard and its Enter.
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    setupDialog = dialog.release();
    setupDialog->show();
    setupDialog->raise();
    setupDialog->activateWindow();
}

void Sonaro::aboutQt()
{
    if (aboutHost) {
        if (auto *box = aboutHost->findChild<QMessageBox *>()) {
            box->raise();
            box->activateWindow();
        }
        return;
    }
    AboutHost host;
    aboutHost = &host;
    QMessageBox::aboutQt(&host);
}

void Sonaro::systrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        opener.open(CallOpener::Route::Tray);
}

void Sonaro::systrayActivated()
{
    systrayActivated(QSystemTrayIcon::DoubleClick);
}
