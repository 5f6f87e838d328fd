#include "app/callopener.h"
#include "app/sonaro.h"
#include "app/sonaroclipboard.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/testsettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <unistd.h>

class TestSonaro : public QObject
{
    Q_OBJECT
    inline static QStringList said; // what the program wrote to its log
    inline static QtMessageHandler testlib;

public:
    // What start() finds where the settings go, beside what was stored; from Other on, a file.
    enum class Disk { AsStored, FolderForFile, FileForFolder, Other, Closed, Huge };
    Q_ENUM(Disk)

private slots:
    void initTestCase()
    {
        Sonaro::setSystemTrayWait({});
        testlib = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &at, const QString &text) {
                said << text;
                testlib(type, at, text);
            });
    }

    void copies_data()
    {
        QTest::addColumn<QStringList>("copies"); // copied in turn; "" as for an image: no text
        QTest::addColumn<QList<bool>>("twice");  // "Copier deux fois pour appeler" at each copy
        QTest::addColumn<QStringList>("opened"); // the numbers shown, in order
        const QString s = "06 12 34 56 78", b = "0612345678", o = "0711223344";
        using L = QStringList;
        using B = QList<bool>; // false by default
        QTest::addRow("twice: another text between") << L{s, "x", s, s} << B(4, true) << L{b};
        QTest::addRow("twice: spaced, two more copies") << L{s, s, s, s} << B(4, true) << L{b, b};
        QTest::addRow("twice: bare, every further copy") << L{b, b, b} << B(3, true) << L{b, b};
        QTest::addRow("twice: an image forgets") << L{s, "", s} << B(3, true) << L{};
        QTest::addRow("option read at each change")
            << L{b, b, o, o, b} << B{false, true, true, true, false} << L{b, b, o, b};
    }

    void copies()
    {
        QFETCH(QStringList, copies);
        QFETCH(QList<bool>, twice);
        resetSettings({{"login", "l"}, {"endpoint", "https://127.0.0.1/"}}); // can call
        SonaroClipboard watcher;
        CallOpener opener;
        connect(&watcher, &SonaroClipboard::numberCopied, &opener,
                [&](const QString &text) { opener.open(CallOpener::Route::Copy, text); });
        QStringList shown;
        // Changes while a dialog is open open nothing more, even copied twice.
        DialogDriver user("CallDialog", [&](QDialog *dialog) {
            shown << dialog->findChild<QLabel *>("number")->text();
            for (int i = 0; i < 2; ++i)
                QApplication::clipboard()->setText("0100000000");
        });
        QApplication::clipboard()->setText("0100000000"); // not watched yet
        watcher.startWatching();
        for (qsizetype i = 0; i < copies.size(); ++i) {
            QSettings().setValue("copytwice", twice.at(i));
            QApplication::clipboard()->setText(copies.at(i));
        }
        QTEST(shown, "opened");
    }

    // The start notice whole where the platform cuts notices shortest, with the longest key.
    void notice()
    {
        const QString text =
            Sonaro::startNotice(true, false, R"(HKEY_CURRENT_USER\Software\Ivelor\Sonaro)");
        QVERIFY2(text.size() <= Sonaro::maxNoticeCharacters, qPrintable(text));
    }

    // With nothing stored the user fills and validates the setup dialog, else closes it.
    void start_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<Disk>("disk");
        QTest::addColumn<QVariantMap>("setup"); // its fields as it opens; none: not shown
        QTest::addColumn<QStringList>("boxes"); // "%1" is the settings file
        QTest::addColumn<QVariantMap>("login"); // stored, or held when that failed; and "foo"
        const QVariantMap partial{{"password", "s"}, {"number", "01"}, {"copytwice", true}};
        const QVariantMap blank{
            {"login", ""}, {"password", ""}, {"number", ""}, {"copytwice", false}};
        const QStringList quiet, notRead{"Tintelle: Impossible de lire la configuration : %1"},
            notWritten{"Tintelle: Impossible d'enregistrer la configuration : %1"};
        const QVariantMap none, a{{"login", "a"}}, empty{{"login", ""}}, foo{{"foo", "1"}},
            typed{{"login", "login"}}, typedFoo{{"login", "login"}, {"foo", "1"}};
        QVariantMap closed = partial;
        closed["login"] = "";
        QTest::addRow("setup closed") << partial << Disk::AsStored << closed << quiet << none;
        QTest::addRow("validated, not written: held")
            << none << Disk::FileForFolder << blank << notWritten << typed;
        QTest::addRow("login stored") << a << Disk::AsStored << none << quiet << a;
        QTest::addRow("empty login stored") << empty << Disk::AsStored << none << quiet << empty;
        QTest::addRow("unreadable") << none << Disk::FolderForFile << none << notRead << none;
        QTest::addRow("closed to the user once read")
            << none << Disk::Closed << none << notRead << foo;
        QTest::addRow("only keys of no use: a first run, they stay")
            << none << Disk::Other << blank << quiet << typedFoo;
        QTest::addRow("over 1 MiB") << none << Disk::Huge << none << notRead << foo;
    }

    void start()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(Disk, disk);
        QFETCH(QStringList, boxes);
        QFETCH(QVariantMap, login);
        QCoreApplication::setOrganizationName(QTest::currentDataTag()); // a folder of its own
        QCoreApplication::setApplicationName("Tintelle");
        resetSettings(stored);
        const QString file = QSettings().fileName(), folder = QFileInfo(file).path();
        QVERIFY(!stored.isEmpty() || QDir(folder).removeRecursively());
        // Something in the way stops root as well as anyone.
        QVERIFY(disk != Disk::FolderForFile || QDir().mkpath(file));
        QVERIFY(disk != Disk::FileForFolder || QFile(folder).open(QIODevice::WriteOnly));
        const QByteArray contents =
            "[General]\nfoo=1\n" + QByteArray(disk == Disk::Huge ? 1 << 20 : 0, '\n');
        QFile in(file);
        QVERIFY(disk < Disk::Other || (QDir().mkpath(folder) && in.open(QIODevice::WriteOnly) &&
                                       in.write(contents) > 0 && in.flush()));
        QVariantMap shown;
        DialogDriver user("SetupDialog", [&](QDialog *dialog) {
            for (const char *name : {"login", "password", "number"}) {
                shown[name] = dialog->findChild<QLineEdit *>(name)->text();
                QTest::keyClicks(dialog->findChild<QLineEdit *>(name), name);
            }
            shown["copytwice"] = dialog->findChild<QCheckBox *>()->isChecked();
            if (stored.isEmpty())
                QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        });
        DialogDriver shownBoxes("QMessageBox");
        said.clear();
        Sonaro sonaro; // lives on, as for the whole session; it has read the settings
        // Closed once read, also to root: the test is another user while the program starts.
        const uid_t uid = ::getuid();
        QVERIFY(disk != Disk::Closed ||
                (in.setPermissions({}) && (uid != 0 || ::setresuid(65534, 65534, 0) == 0)));
        sonaro.start();
        QCOMPARE(::setresuid(uid, uid, uid), 0);
        // With a login it goes on to the tray, which offscreen has not; otherwise it stops there.
        QCOMPARE(said.contains("No systray available. Exiting."), login.contains("login"));
        QTEST(shown, "setup");
        QCOMPARE(shownBoxes.seen, boxes.replaceInStrings("%1", file));
        QVariantMap held;
        for (const char *key : {"login", "foo"})
            if (QSettings().contains(key))
                held[key] = QSettings().value(key);
        QCOMPARE(held, login);
    }
};

QTEST_MAIN(TestSonaro)
#include "tst_sonaro.moc"
