#include "app/clipboardreader.h"

#include <QApplication>
#include <QClipboard>
#include <QProcess>
#include <QTest>

// Against owners of every kind, another program on a real X server.
class TestClipboardReader : public QObject
{
    Q_OBJECT

private slots:
    void reads_data()
    {
        QTest::addColumn<QStringList>("owner"); // the options of tests/e2e/silentowner.cpp
        QTest::addColumn<QString>("text");
        const QString spaced = "Tel. 06 12 34 56 78";
        QTest::addRow("STRING only") << QStringList{"--string", spaced} << spaced;
        QTest::addRow("in pieces") << QStringList{"--incr", "600000"} << QString(600000, '6');
        QTest::addRow("in pieces, over 1 MiB") << QStringList{"--incr", "1048577"} << "";
        QTest::addRow("hung, then owner again, same window")
            << QStringList{"--late", spaced} << spaced;
    }

    void reads()
    {
        QFETCH(QStringList, owner);
        QFETCH(QString, text);
        QProcess process;
        process.start(TINTELLE_OWNER, owner);
        QVERIFY(process.waitForReadyRead()); // it owns the clipboard
        bool ready = false;
        ClipboardReader reader([&] { ready = true; });
        QString read;
        QVERIFY(!reader.read(read));
        // A new ownership is read as the watcher does: on Qt's word.
        const QObject row;
        connect(QApplication::clipboard(), &QClipboard::dataChanged, &row,
                [&] { reader.read(read); });
        QTRY_VERIFY_WITH_TIMEOUT(ready, 30000);
        QVERIFY(reader.read(read));
        QCOMPARE(read, text);
        process.kill();
        process.waitForFinished();
    }
};

QTEST_MAIN(TestClipboardReader)
#include "tst_clipboardreader.moc"
