#include "sonaro.h"

#include "calldialog.h"
#include "calldialoglock.h"
#include "edition.h"
#include "setupdialog.h"
#include "ws.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QTimer>
#include <chrono>

namespace {

// At login the notification area often comes up after the programs started with the session.
constexpr std::chrono::seconds systemTrayWait(60);
constexpr std::chrono::seconds systemTrayPoll(1);

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

// The password is kept in clear, so on Unix the settings file must be its owner's alone, as the
// per-user registry is on Windows. The file is created private before anything is written to it.
void restrictToOwner(const QString &fileName)
{
#ifdef Q_OS_UNIX
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    if (!QFileInfo::exists(fileName)) {
        QDir().mkpath(QFileInfo(fileName).absolutePath());
        QFile file(fileName);
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly);
    }
    QFile::setPermissions(fileName, ownerOnly);
#else
    Q_UNUSED(fileName)
#endif
}

} // namespace

Sonaro::Sonaro(QObject *parent)
    : QObject(parent),
      settings(QCoreApplication::organizationName(), QCoreApplication::applicationName()),
      trayIcon(this), configureAction(this), callAction(this), aboutQtAction(this),
      quitAction(this), clipboardWatcher(this)
{
}

Sonaro::~Sonaro() = default;

bool Sonaro::start()
{
    if (!settings.contains(QStringLiteral("login")))
        setupUI();
    if (!settings.contains(QStringLiteral("login")))
        return false;
    return initTray();
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
    connect(&trayIcon, &QSystemTrayIcon::activated, this,
            qOverload<QSystemTrayIcon::ActivationReason>(&Sonaro::systrayActivated));

    return clipboardWatcher.startWatching();
}

void Sonaro::setupSuccess(QString login, QString password, QString number, bool copyTwice)
{
    restrictToOwner(settings.fileName());
    settings.setValue(QStringLiteral("login"), login);
    settings.setValue(QStringLiteral("password"), password);
    settings.setValue(QStringLiteral("number"), number);
    settings.setValue(QStringLiteral("copytwice"), copyTwice);
    // Flushed at once so that a crash or a kill right after validation loses nothing.
    settings.sync();
    restrictToOwner(settings.fileName());
}

bool Sonaro::quit()
{
    QCoreApplication::quit();
    return false;
}

void Sonaro::openCallDialog(const QString &text)
{
    if (!callDialogLock().tryLock())
        return;
    QString display = text;
    QString dial;
    WS::extractNumber(display, dial);
    CallDialog dialog(dial, display, nullptr);
    dialog.show();
    // On the empty page what the user types goes into the field; with a number, Enter calls.
    auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("numberEdit"));
    if (dial.isEmpty() && field)
        field->setFocus(Qt::OtherFocusReason);
    dialog.raise();
    dialog.activateWindow();
    dialog.exec();
}

void Sonaro::setupUI()
{
    const bool copyTwice = settings.value(QStringLiteral("copytwice"), QVariant()).toBool();
    const QString number = settings.value(QStringLiteral("number"), QVariant()).toString();
    const QString password = settings.value(QStringLiteral("password"), QVariant()).toString();
    const QString login = settings.value(QStringLiteral("login"), QVariant()).toString();

    SetupDialog dialog(login, password, number, copyTwice, nullptr);
    connect(&dialog, &SetupDialog::setupSuccess, this, &Sonaro::setupSuccess);
    dialog.exec();
}

void Sonaro::systrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick)
        return;
    if (!callDialogLock().tryLock())
        return;
    CallDialog dialog(QStringLiteral(""), QStringLiteral(""), nullptr);
    dialog.exec();
}

void Sonaro::systrayActivated()
{
    systrayActivated(QSystemTrayIcon::DoubleClick);
}
