#include "app/callopener.h"
#include "app/clipboardreader.h"
#include "app/privateplace.h"
#include "app/sonaro.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/testsettings.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

class TestCallOpener : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { resetSettings({{"endpoint", "https://127.0.0.1:1/"}}); }

    // What a copy, a link, the tray or a start opens (where it stands: tests/e2e/desktop.sh).
    void open_data()
    {
        QTest::addColumn<CallOpener::Route>("route");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("oneOpen");      // the dialog of "01 44 55 66 77", copied before
        QTest::addColumn<bool>("claimBroken");  // an empty lock file, as a full disk leaves it
        QTest::addColumn<QStringList>("pages"); // of each dialog shown, as it ends
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QString>("notice"); // how the first begins; none: ""
        using R = CallOpener::Route;
        using L = QStringList;
        const L number{"numberLayout"}, edit{"editLayout"}, none, was{"0144556677"};
        QTest::addRow("copy, no number: silent")
            << R::Copy << "le 1er" << false << false << none << none << "";
        QTest::addRow("copy, another open: left there")
            << R::Copy << "+33 7 11 22 33 44" << true << false << number << was
            << "Numéro 0033711223344 ignoré : une fenêtre d'appel est déjà ouverte.";
        QTest::addRow("link, no number") << R::Link << "112" << false << false << none << none
                                         << "Le lien ne contient aucun numéro reconnu";
        QTest::addRow("tray") << R::Tray << "" << false << false << edit << L{""} << "";
        QTest::addRow("start, one open: ready for typing")
            << R::Start << "" << true << false << edit << was << "";
        QTest::addRow("copy, the claim broken: said, opens")
            << R::Copy << "Tél. 06 12 34 56 78" << false << true << number << L{"0612345678"}
            << "Impossible de créer le verrou %1 (disque plein ou dossier en lecture seule). "
               "Libérez de la place ou rendez le dossier inscriptible, puis supprimez ce fichier "
               "s'il existe.";
    }

    void open()
    {
        QFETCH(CallOpener::Route, route);
        QFETCH(QString, text);
        QFETCH(bool, oneOpen);
        QFETCH(bool, claimBroken);
        const QString lock = PrivatePlace::folder() + "/dialog.lock";
        QFile broken(lock);
        QVERIFY(!claimBroken || broken.open(QIODevice::WriteOnly));
        auto cleanup = qScopeGuard([&] { QFile::remove(lock); });
        CallOpener opener(PrivatePlace::folder());
        QSignalSpy notices(&opener, &CallOpener::notice);
        QStringList pages, numbers;
        DialogDriver user("CallDialog", [&](QDialog *shown) {
            if (oneOpen && user.seen.size() == 1)
                opener.open(route, text);
            pages
                << shown->findChild<QStackedWidget *>("numberStack")->currentWidget()->objectName();
            numbers << (pages.last() == "editLayout"
                            ? shown->findChild<QLineEdit *>("numberEdit")->text()
                            : shown->findChild<QLabel *>("number")->text());
        });
        opener.open(oneOpen ? CallOpener::Route::Copy : route, oneOpen ? "01 44 55 66 77" : text);
        QTEST(pages, "pages");
        QTEST(numbers, "numbers");
        QFETCH(QString, notice);
        const QString said = notices.value(0).value(0).toString();
        QVERIFY2(notice.isEmpty() ? said.isEmpty() : said.startsWith(notice.replace("%1", lock)),
                 qPrintable(said));
        QVERIFY(said.size() <= Sonaro::maxNoticeCharacters); // whole in a Windows balloon
    }

    // Owners of every kind, another program on a real X server, asked once per change of owner.
    void reads_data()
    {
        QTest::addColumn<QStringList>("owner"); // the options of tests/e2e/silentowner.cpp
        QTest::addColumn<int>("ownerships");    // times it takes the clipboard before answering
        QTest::addColumn<QString>("text");
        const QString spaced = "Tel. 06 12 34 56 78";
        QTest::addRow("STRING only") << QStringList{"--string", spaced} << 1 << spaced;
        QTest::addRow("in pieces") << QStringList{"--incr", "600000"} << 1 << QString(600000, '6');
        QTest::addRow("in pieces, over 1 MiB") << QStringList{"--incr", "1048577"} << 1 << "";
        // Given up on after a while, then a new ownership of the same window: asked again.
        QTest::addRow("hung, then owner again, same window")
            << QStringList{"--late", spaced} << 2 << spaced;
    }

    void reads()
    {
        QFETCH(QStringList, owner);
        QFETCH(int, ownerships);
        bool ready = false;
        ClipboardReader reader([&] { ready = true; });
        QProcess process;
        process.start(TINTELLE_OWNER, owner);
        QString read;
        QByteArray said;
        for (int taken = 1; taken <= ownerships; ++taken) {
            QTRY_VERIFY_WITH_TIMEOUT((said += process.readAll()).count("owned\n") >= taken, 30000);
            QVERIFY(!reader.read(read)); // asked; the text comes later, if ever
        }
        QTRY_VERIFY_WITH_TIMEOUT(ready, 30000);
        QVERIFY(reader.read(read));
        QTEST(read, "text");
        process.kill();
        process.waitForFinished();
    }
};

QTEST_MAIN(TestCallOpener)
#include "tst_callopener.moc"
