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
        QTest::addColumn<QStringList>("copies"); // copied in turn; "" as for an image: no text
        QTest::addColumn<QList<bool>>("twice");  // "Copier deux fois pour appeler" at each copy
        QTest::addColumn<QStringList>("opened"); // the numbers shown, in order
        const QString s = "06 12 34 56 78", b = "0612345678", o = "0711223344";
        using L = QStringList;
        const auto off = [](qsizetype n) { return QList<bool>(n, false); };
        const auto on = [](qsizetype n) { return QList<bool>(n, true); };
        QTest::addRow("spaced national, shown bare") << L{s, s} << off(2) << L{b, b};
        QTest::addRow("no number, an image") << L{"bonjour", ""} << off(2) << L{};
        QTest::addRow("twice: once nothing, twice opens") << L{s, s} << on(2) << L{b};
        QTest::addRow("twice: another text between") << L{s, "x", s, s} << on(4) << L{b};
        QTest::addRow("twice: spaced, two more copies") << L{s, s, s, s} << on(4) << L{b, b};
        QTest::addRow("twice: bare, every further copy") << L{b, b, b} << on(3) << L{b, b};
        QTest::addRow("twice: an image forgets") << L{s, "", s} << on(3) << L{};
        QTest::addRow("twice: no number forgets") << L{"x", "x", b, b} << on(4) << L{b};
        QTest::addRow("option read at each change")
            << L{b, b, o, o, b} << QList<bool>{false, true, true, true, false} << L{b, b, o, b};
    }

    void copies()
    {
        QFETCH(QStringList, copies);
        QFETCH(QList<bool>, twice);
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
        for (qsizetype i = 0; i < copies.size(); ++i) {
            QSettings().setValue("copytwice", twice.at(i));
            QApplication::clipboard()->setText(copies.at(i));
        }
        QCOMPARE(shown, opened);
    }
};

QTEST_MAIN(TestSonaroClipboard)
#include "tst_sonaroclipboard.moc"
