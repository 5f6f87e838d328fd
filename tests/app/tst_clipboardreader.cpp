#include "app/clipboardreader.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

// Against owners of every kind, another program on a real X server. The test asks when the
// watcher would, once per change of owner, and nothing else asks: each row reads the same way
// however busy the machine is.
class TestClipboardReader : public QObject
{
    Q_OBJECT

private slots:
    void reads_data()
    {
        QTest::addColumn<QStringList>("owner"); // the options of tests/e2e/silentowner.cpp
        QTest::addColumn<int>("ownerships");    // times it takes the clipboard before answering
        QTest::addColumn<QString>("text");
        const QString spaced = "Tel. 06 12 34 56 78";
        QTest::addRow("STRING only") << QStringList{"--string", spaced} << 1 << spaced;
        QTest::addRow("in pieces") << QStringList{"--incr", "600000"} << 1 << QString(600000, '6');
        QTest::addRow("in pieces, over 1 MiB") << QStringList{"--incr", "1048577"} << 1 << "";
        // Its first ownership is given up on after a while, then the same window takes the
        // clipboard again: a new ownership, asked again.
        QTest::addRow("hung, then owner again, same window")
            << QStringList{"--late", spaced} << 2 << spaced;
    }

    void reads()
    {
        QFETCH(QStringList, owner);
        QFETCH(int, ownerships);
        QFETCH(QString, text);
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
        QCOMPARE(read, text);
        process.kill();
        process.waitForFinished();
    }
};

QTEST_MAIN(TestClipboardReader)
#include "tst_clipboardreader.moc"
