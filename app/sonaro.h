#pragma once

#include "app/callopener.h"
#include "app/sonaroclipboard.h"

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSettings>
#include <QSystemTrayIcon>
#include <chrono>

class SetupDialog;

// The tray controller: lives for the whole run, owns the tray icon, its menu and the clipboard
// watcher, and opens the call and setup dialogs. Build it only after the edition has been
// selected, since its settings are named after it.
class Sonaro : public QObject
{
    Q_OBJECT

public:
    // `place`: the user's private place (PrivatePlace), worked out once at start.
    explicit Sonaro(const QString &place = QString(), QObject *parent = nullptr);
    ~Sonaro() override;

    // Runs the first-run setup when no login is stored, then sets the tray up, waiting for a
    // notification area that comes up after the program. False when the program
    // must end with exit status 1: still no login, or still no system tray.
    bool start();

    // False when no login is stored; an unreadable store counts as set up (start() reports it).
    static bool isSetUp();

    // At login the notification area often comes up after the programs started with the session:
    // start() waits this long for one (tests shorten it). Started by hand, the program meets one
    // or none, and says so soon.
    static constexpr std::chrono::seconds defaultSystemTrayWait{60};
    static constexpr std::chrono::seconds byHandSystemTrayWait{5};
    static void setSystemTrayWait(std::chrono::milliseconds wait);

public slots:
    // Stores the four values and flushes them to disk at once.
    void setupSuccess(QString login, QString password, QString number, bool copyTwice);
    // Ends the event loop. Always returns false.
    bool quit();

public:
    // Every call dialog opens through it, whoever asks (copy, link, later start, tray, menu); its
    // notices show from the tray.
    CallOpener &callOpener() { return opener; }

private slots:
    // Before the tray exists (first run), returns once the dialog has closed. From the tray it
    // blocks nothing, and a second request brings the open one forward.
    void setupUI();
    // Qt's box, blocking none of the program's windows.
    void aboutQt();
    // Only a double-click opens the call dialog, and only while none is open.
    void systrayActivated(QSystemTrayIcon::ActivationReason reason);
    void systrayActivated();

private:
    bool initTray();
    // A short notice from the tray icon.
    void notify(const QString &text);

    QSettings settings;
    CallOpener opener;
    QSystemTrayIcon trayIcon;
    QMenu trayMenu;
    QAction configureAction;
    QAction callAction;
    QAction aboutQtAction;
    QAction quitAction;
    SonaroClipboard clipboardWatcher;
    QPointer<SetupDialog> setupDialog;
    QPointer<QWidget> aboutHost;
};
