#include "app/callopener.h"
#include "app/sonaroclipboard.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/testsettings.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QSettings>
#include <QTest>

class TestSonaroClipboard : public QObject
{
    Q_OBJECT

private slots:
    void copies_data()
    {
        // What is copied in turn ("" as for an image: no text), or "on"/"off" for the option.
        QTest::addColumn<QStringList>("copies");
        QTest::addColumn<QStringList>("opened"); // the numbers shown, in order
        const QString s = "06 12 34 56 78", b = "0612345678", o = "0711223344";
        using L = QStringList;
        QTest::addRow("spaced national, shown bare") << L{s, s} << L{b, b};
        QTest::addRow("no number, an image") << L{"bonjour", ""} << L{};
        QTest::addRow("twice: once nothing, twice opens") << L{"on", s, s} << L{b};
        QTest::addRow("twice: another text between") << L{"on", s, "x", s, s} << L{b};
        QTest::addRow("twice: spaced, two more copies") << L{"on", s, s, s, s} << L{b, b};
        QTest::addRow("twice: bare, every further copy") << L{"on", b, b, b} << L{b, b};
        QTest::addRow("twice: an image forgets") << L{"on", s, "", s} << L{};
        QTest::addRow("twice: no number forgets") << L{"on", "x", "x", b, b} << L{b};
        QTest::addRow("option read at each change")
            << L{b, "on", b, o, o, "off", b} << L{b, b, o, b};
    }

    void copies()
    {
        QFETCH(QStringList, copies);
        QFETCH(QStringList, opened);
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
        for (const QString &entry : copies) {
            if (entry == "on" || entry == "off")
                QSettings().setValue("copytwice", entry == "on");
            else
                QApplication::clipboard()->setText(entry);
        }
        QCOMPARE(shown, opened);
    }
};

QTEST_MAIN(TestSonaroClipboard)
#include "tst_sonaroclipboard.moc"
