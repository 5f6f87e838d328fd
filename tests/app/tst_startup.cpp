// Starts the real program binary from various places and watches how it starts and ends.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString programPath()
{
    return qEnvironmentVariable("TINTELLE_BINARY_DIR") + QStringLiteral("/app/tintelle");
}

// Writes a stored account into the given edition's settings file of a private profile.
void storeLogin(const QString &configHome, const QString &organisation, const QString &application)
{
    QSettings settings(configHome + '/' + organisation + '/' + application + ".conf",
                       QSettings::IniFormat);
    settings.setValue(QStringLiteral("login"), QStringLiteral("alice"));
}

QProcessEnvironment environmentFor(const QString &configHome, const QString &platform)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    return env;
}

bool runXdotool(const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), arguments);
    if (!xdotool.waitForFinished(15000))
        return false;
    if (output)
        *output = xdotool.readAllStandardOutput().trimmed();
    return xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void editionFromPath_data();
    void editionFromPath();
    void firstRunWithoutTray_data();
    void firstRunWithoutTray();

private:
    QTemporaryDir root;
};

void TestStartup::initTestCase()
{
    QVERIFY(QFile::exists(programPath()));
    QVERIFY(root.isValid());
}

void TestStartup::editionFromPath_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("symlink");
    QTest::addColumn<bool>("branded");

    QTest::addRow("directory in capitals") << "SONARO/bin/tintelle" << false << true;
    QTest::addRow("inside the file name, lower case") << "bin/mysonarotool" << false << true;
    QTest::addRow("mixed case deep in the path") << "opt/SoNaRo-2/x/y/run" << false << true;
    QTest::addRow("plain path") << "opt/tintelle/bin/tintelle" << false << false;
    QTest::addRow("maker's name is not the product's") << "Ivelor/Sonar/sonar0" << false << false;
    // The program resolves its own path, so only where the file really is counts.
    QTest::addRow("symbolic link named after the brand") << "SONARO/link" << true << false;
}

void TestStartup::editionFromPath()
{
    QFETCH(QString, location);
    QFETCH(bool, symlink);
    QFETCH(bool, branded);

    const QString base = root.path() + '/' + QTest::currentDataTag();
    const QString executable = base + '/' + location;
    QVERIFY(QDir().mkpath(QFileInfo(executable).absolutePath()));
    if (symlink) {
        const QString real = base + QStringLiteral("/real/tintelle");
        QVERIFY(QDir().mkpath(QFileInfo(real).absolutePath()));
        QVERIFY(QFile::copy(programPath(), real));
        QVERIFY(QFile::link(real, executable));
    } else {
        QVERIFY(QFile::copy(programPath(), executable));
    }

    // Only the expected edition finds a stored login: that edition goes on to look for a tray,
    // finds none and ends at once; the other would wait in its first-run setup dialog.
    const QString configHome = base + QStringLiteral("/config");
    if (branded)
        storeLogin(configHome, QStringLiteral("Ivelor"), QStringLiteral("Sonaro"));
    else
        storeLogin(configHome, QStringLiteral("Tintelle"), QStringLiteral("Tintelle"));

    QProcess program;
    program.setProcessEnvironment(environmentFor(configHome, QStringLiteral("offscreen")));
    program.start(executable, {});
    QVERIFY(program.waitForStarted());
    const bool ended = program.waitForFinished(20000);
    if (!ended) {
        program.kill();
        program.waitForFinished();
        QFAIL("the program did not find its stored login: wrong edition");
    }
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    QVERIFY(program.readAllStandardError().contains("No systray available. Exiting."));
    // Nothing was written to the other edition's scope.
    QVERIFY(!QFile::exists(configHome + (branded ? "/Tintelle" : "/Ivelor")));
}

void TestStartup::firstRunWithoutTray_data()
{
    QTest::addColumn<bool>("validate");
    QTest::addRow("setup validated, then no tray") << true;
    QTest::addRow("setup closed without validating") << false;
}

void TestStartup::firstRunWithoutTray()
{
    QFETCH(bool, validate);
    if (qEnvironmentVariable("QT_QPA_PLATFORM") != QLatin1String("xcb"))
        QSKIP("Needs an X server to drive the setup dialog");

    const QString configHome = root.path() + '/' + QTest::currentDataTag() + "/config";
    QProcess program;
    program.setProcessEnvironment(environmentFor(configHome, QStringLiteral("xcb")));
    program.start(programPath(), {});
    QVERIFY(program.waitForStarted());

    QByteArray window;
    QVERIFY(runXdotool({"search", "--sync", "--onlyvisible", "--name", "^Tintelle$"}, &window));
    window = window.split('\n').first();
    QVERIFY(runXdotool({"windowfocus", "--sync", QString::fromLatin1(window)}));
    if (validate) {
        // Focus starts on the tab bar; the account fields follow in order.
        QVERIFY(runXdotool({"key", "--delay", "20", "Tab"}));
        QVERIFY(runXdotool({"type", "--delay", "20", "alice"}));
        QVERIFY(runXdotool({"key", "--delay", "20", "Tab"}));
        QVERIFY(runXdotool({"type", "--delay", "20", "secret"}));
        QVERIFY(runXdotool({"key", "--delay", "20", "Tab"}));
        QVERIFY(runXdotool({"type", "--delay", "20", "0102030405"}));
        QVERIFY(runXdotool({"key", "Return"}));
    } else {
        QVERIFY(runXdotool({"key", "Escape"}));
    }

    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished();
        QFAIL("the program did not end");
    }
    QCOMPARE(program.exitCode(), 1);
    QCOMPARE(program.readAllStandardError().contains("No systray available. Exiting."), validate);

    const QString file = configHome + QStringLiteral("/Tintelle/Tintelle.conf");
    QCOMPARE(QFile::exists(file), validate);
    if (validate) {
        QSettings stored(file, QSettings::IniFormat);
        QCOMPARE(stored.value("login").toString(), QStringLiteral("alice"));
        QCOMPARE(stored.value("password").toString(), QStringLiteral("secret"));
        QCOMPARE(stored.value("number").toString(), QStringLiteral("0102030405"));
        QCOMPARE(stored.value("copytwice").toBool(), false);
        QCOMPARE(QFile::permissions(file) & QFile::Permissions(0x0077), QFile::Permissions());
    }
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
