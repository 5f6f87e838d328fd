#include "calldialoglock.h"
#include "dialogspy.h"
#include "edition.h"
#include "sonaro.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

namespace {

const QString plainPath = QStringLiteral("/opt/tintelle/bin/tintelle");
const QString brandedPath = QStringLiteral("/opt/SONARO/bin/tintelle");

QSystemTrayIcon *trayIconOf(Sonaro &sonaro)
{
    return sonaro.findChild<QSystemTrayIcon *>();
}

QAction *menuEntry(Sonaro &sonaro, const QString &caption)
{
    const auto actions = trayIconOf(sonaro)->contextMenu()->actions();
    for (QAction *action : actions) {
        if (action->text() == caption)
            return action;
    }
    return nullptr;
}

void storeAccount()
{
    QSettings settings;
    settings.setValue(QStringLiteral("login"), QStringLiteral("alice"));
    settings.setValue(QStringLiteral("password"), QStringLiteral("secret"));
    settings.setValue(QStringLiteral("number"), QStringLiteral("0102030405"));
    settings.setValue(QStringLiteral("copytwice"), false);
}

} // namespace

class TestSonaro : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void trayPerEdition_data();
    void trayPerEdition();
    void activation_data();
    void activation();
    void callEntryIgnoredWhileDialogOpen();
    void doubleClickWhileClipboardDialogOpen();
    void configurationPrefilledAndStored_data();
    void configurationPrefilledAndStored();
    void setupSuccessWritesPrivateFile();
    void copyTwiceChangedThroughController();
    void firstRun_data();
    void firstRun();
    void emptyStoredLoginCountsAsConfigured();
    void quitEndsEventLoop();
};

void TestSonaro::init()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("This desktop has no system tray");
    Edition::selectForExecutable(plainPath);
    QSettings().clear();
}

void TestSonaro::cleanup()
{
    QSettings().clear();
    Edition::selectForExecutable(plainPath);
}

void TestSonaro::trayPerEdition_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QString>("toolTip");

    const QString configure = QStringLiteral("Configuration");
    const QString call = QStringLiteral("Appeler un numéro");
    const QString about = QStringLiteral("A propos de Qt...");
    QTest::addRow("plain") << plainPath
                           << QStringList{configure, call, {}, about, {}, "Quitter Tintelle"}
                           << "Tintelle";
    QTest::addRow("branded") << brandedPath
                             << QStringList{configure, call, {}, about, {}, "Quitter Sonaro"}
                             << "Sonaro";
}

void TestSonaro::trayPerEdition()
{
    QFETCH(QString, executable);
    QFETCH(QStringList, captions);
    QFETCH(QString, toolTip);

    Edition::selectForExecutable(executable);
    storeAccount();
    Sonaro sonaro;
    QVERIFY(sonaro.start());

    QSystemTrayIcon *icon = trayIconOf(sonaro);
    QVERIFY(icon);
    QVERIFY(icon->isVisible());
    QCOMPARE(icon->toolTip(), toolTip);
    QVERIFY(!icon->icon().isNull());
    QVERIFY(!QApplication::quitOnLastWindowClosed());

    QStringList shown;
    const auto actions = icon->contextMenu()->actions();
    for (const QAction *action : actions)
        shown << (action->isSeparator() ? QString() : action->text());
    QCOMPARE(shown, captions);
    QSettings().clear();
}

void TestSonaro::activation_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<QStringList>("opened");

    QTest::addRow("single click") << QSystemTrayIcon::Trigger << QStringList{};
    QTest::addRow("context request") << QSystemTrayIcon::Context << QStringList{};
    QTest::addRow("middle click") << QSystemTrayIcon::MiddleClick << QStringList{};
    QTest::addRow("double click") << QSystemTrayIcon::DoubleClick
                                  << QStringList{QStringLiteral("edit:")};
}

void TestSonaro::activation()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(QStringList, opened);

    storeAccount();
    Sonaro sonaro;
    QVERIFY(sonaro.start());
    DialogSpy spy("CallDialog");
    emit trayIconOf(sonaro)->activated(reason);
    QCOMPARE(spy.shown, opened);
    QVERIFY(callDialogLock().tryLock());
    callDialogLock().unlock();
}

void TestSonaro::callEntryIgnoredWhileDialogOpen()
{
    storeAccount();
    Sonaro sonaro;
    QVERIFY(sonaro.start());
    QAction *call = menuEntry(sonaro, QStringLiteral("Appeler un numéro"));
    QVERIFY(call);
    DialogSpy spy("CallDialog");

    // A second request from inside the open dialog's loop is refused.
    spy.whileOpen = [&](QDialog *) { call->trigger(); };
    call->trigger();
    QCOMPARE(spy.shown, QStringList{QStringLiteral("edit:")});
    QCOMPARE(spy.mostOpenAtOnce, 1);

    // Once it is gone, the next request opens one again.
    spy.whileOpen = nullptr;
    call->trigger();
    QCOMPARE(spy.shown.size(), 2);
}

void TestSonaro::doubleClickWhileClipboardDialogOpen()
{
    storeAccount();
    Sonaro sonaro;
    QVERIFY(sonaro.start());
    DialogSpy spy("CallDialog");
    QSystemTrayIcon *icon = trayIconOf(sonaro);
    spy.whileOpen = [&](QDialog *) { emit icon->activated(QSystemTrayIcon::DoubleClick); };

    QApplication::clipboard()->setText(QStringLiteral("06 12 34 56 78"));
    QCOMPARE(spy.shown, QStringList{QStringLiteral("0612345678")});
    QCOMPARE(spy.mostOpenAtOnce, 1);
}

void TestSonaro::configurationPrefilledAndStored_data()
{
    QTest::addColumn<bool>("validate");
    QTest::addRow("validated overwrites all four") << true;
    QTest::addRow("closed writes nothing") << false;
}

void TestSonaro::configurationPrefilledAndStored()
{
    QFETCH(bool, validate);

    storeAccount();
    QSettings().setValue(QStringLiteral("copytwice"), true);
    Sonaro sonaro;
    QVERIFY(sonaro.start());

    DialogSpy spy("SetupDialog");
    QStringList prefilled;
    bool checked = false;
    spy.whileOpen = [&](QDialog *dialog) {
        for (const char *name : {"login", "password", "number"})
            prefilled << dialog->findChild<QLineEdit *>(QLatin1String(name))->text();
        auto *box = dialog->findChild<QCheckBox *>(QStringLiteral("copyTwice"));
        checked = box->isChecked();
        dialog->findChild<QLineEdit *>(QStringLiteral("login"))->setText(QStringLiteral(" bob "));
        box->setChecked(false);
        if (validate)
            dialog->findChild<QPushButton *>(QStringLiteral("validateButton"))->click();
    };
    menuEntry(sonaro, QStringLiteral("Configuration"))->trigger();

    QCOMPARE(prefilled, (QStringList{"alice", "secret", "0102030405"}));
    QVERIFY(checked);
    QSettings settings;
    QCOMPARE(settings.value("login").toString(), validate ? " bob " : "alice");
    QCOMPARE(settings.value("password").toString(), QStringLiteral("secret"));
    QCOMPARE(settings.value("copytwice").toBool(), !validate);
}

void TestSonaro::setupSuccessWritesPrivateFile()
{
    storeAccount();
    QSettings().sync();
    const QString fileName = QSettings().fileName();
    // As an older release, or the user, may have left it.
    QVERIFY(QFile::setPermissions(fileName, QFile::Permissions(0x6644)));

    Sonaro sonaro;
    sonaro.setupSuccess("bob", "p&ss <é>", "0600000000", true);

    // Read back from the file itself, not from the in-process cache: it must be on disk now.
    QSettings onDisk(fileName, QSettings::IniFormat);
    QCOMPARE(onDisk.value("login").toString(), QStringLiteral("bob"));
    QCOMPARE(onDisk.value("password").toString(), QStringLiteral("p&ss <é>"));
    QCOMPARE(onDisk.value("number").toString(), QStringLiteral("0600000000"));
    QCOMPARE(onDisk.value("copytwice").toBool(), true);
#ifdef Q_OS_UNIX
    QCOMPARE(QFile::permissions(fileName) & QFile::Permissions(0x7777),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
#endif
}

void TestSonaro::copyTwiceChangedThroughController()
{
    storeAccount();
    Sonaro sonaro;
    QVERIFY(sonaro.start());
    DialogSpy spy("CallDialog");

    QApplication::clipboard()->setText(QStringLiteral("0612345678"));
    QCOMPARE(spy.shown.size(), 1);
    sonaro.setupSuccess("alice", "secret", "0102030405", true);
    QApplication::clipboard()->setText(QStringLiteral("0711223344"));
    QCOMPARE(spy.shown.size(), 1);
    QApplication::clipboard()->setText(QStringLiteral("0711223344"));
    QCOMPARE(spy.shown.size(), 2);
}

void TestSonaro::firstRun_data()
{
    QTest::addColumn<bool>("validate");
    QTest::addColumn<bool>("started");
    QTest::addRow("setup validated") << true << true;
    QTest::addRow("setup closed") << false << false;
}

void TestSonaro::firstRun()
{
    QFETCH(bool, validate);
    QFETCH(bool, started);

    Sonaro sonaro;
    DialogSpy spy("SetupDialog");
    spy.whileOpen = [&](QDialog *dialog) {
        for (const char *name : {"login", "password", "number"})
            dialog->findChild<QLineEdit *>(QLatin1String(name))->setText(QStringLiteral("x"));
        if (validate)
            dialog->findChild<QPushButton *>(QStringLiteral("validateButton"))->click();
    };
    QCOMPARE(sonaro.start(), started);
    QCOMPARE(spy.shown.size(), 1);
    QCOMPARE(trayIconOf(sonaro)->isVisible(), started);
    QCOMPARE(QSettings().contains(QStringLiteral("login")), started);
}

void TestSonaro::emptyStoredLoginCountsAsConfigured()
{
    QSettings().setValue(QStringLiteral("login"), QString());
    Sonaro sonaro;
    DialogSpy spy("SetupDialog");
    QVERIFY(sonaro.start());
    QVERIFY(spy.shown.isEmpty());
}

void TestSonaro::quitEndsEventLoop()
{
    storeAccount();
    Sonaro sonaro;
    QVERIFY(sonaro.start());
    QAction *quit = menuEntry(sonaro, QStringLiteral("Quitter Tintelle"));
    QVERIFY(quit);
    QTimer::singleShot(0, quit, &QAction::trigger);
    QTimer failsafe;
    failsafe.setSingleShot(true);
    connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    failsafe.start(10000);
    QCOMPARE(QCoreApplication::exec(), 0);
}

QTEST_MAIN(TestSonaro)
#include "tst_sonaro.moc"
