#include "platformchoice.h"

#include <QByteArray>
#include <QTest>

namespace {

// A null value leaves the variable unset; an empty one sets it to "".
void setVariable(const char *name, const QByteArray &value)
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

} // namespace

class TestPlatformChoice : public QObject
{
    Q_OBJECT

private slots:
    void choosesPlatform_data();
    void choosesPlatform();
};

void TestPlatformChoice::choosesPlatform_data()
{
    QTest::addColumn<QByteArray>("waylandDisplay");
    QTest::addColumn<QByteArray>("sessionType");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("chosen");
    // Null: QT_QPA_PLATFORM must stay unset, so the toolkit chooses.
    QTest::addColumn<QByteArray>("expected");

    const QByteArray unset;
    const QByteArray empty("");
    QTest::addRow("wayland display and xwayland")
        << QByteArray("wayland-0") << unset << QByteArray(":0") << unset << QByteArray("xcb");
    QTest::addRow("wayland session type and xwayland")
        << unset << QByteArray("wayland") << QByteArray(":1") << unset << QByteArray("xcb");
    QTest::addRow("empty choice counts as none") << QByteArray("wayland-0") << QByteArray("wayland")
                                                 << QByteArray(":0") << empty << QByteArray("xcb");
    QTest::addRow("wayland without x server")
        << QByteArray("wayland-0") << QByteArray("wayland") << unset << unset << unset;
    QTest::addRow("wayland with empty DISPLAY")
        << QByteArray("wayland-0") << QByteArray("wayland") << empty << unset << unset;
    QTest::addRow("user chose wayland")
        << QByteArray("wayland-0") << QByteArray("wayland") << QByteArray(":0")
        << QByteArray("wayland") << QByteArray("wayland");
    QTest::addRow("user chose a fallback list")
        << QByteArray("wayland-0") << unset << QByteArray(":0") << QByteArray("wayland;xcb")
        << QByteArray("wayland;xcb");
    QTest::addRow("x11 session") << unset << QByteArray("x11") << QByteArray(":0") << unset
                                 << unset;
    QTest::addRow("no graphical session") << unset << QByteArray("tty") << unset << unset << unset;
}

void TestPlatformChoice::choosesPlatform()
{
    QFETCH(QByteArray, waylandDisplay);
    QFETCH(QByteArray, sessionType);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, chosen);
    QFETCH(QByteArray, expected);

    setVariable("WAYLAND_DISPLAY", waylandDisplay);
    setVariable("XDG_SESSION_TYPE", sessionType);
    setVariable("DISPLAY", display);
    setVariable("QT_QPA_PLATFORM", chosen);

    PlatformChoice::preferX11OnWayland();

    QCOMPARE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"), !expected.isNull());
    QCOMPARE(qgetenv("QT_QPA_PLATFORM"), expected);
}

QTEST_GUILESS_MAIN(TestPlatformChoice)
#include "tst_platformchoice.moc"
