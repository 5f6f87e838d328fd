// What a later start hands over: a link's number, and its request on the guard's socket.
#include "app/phonelink.h"
#include "app/singleinstance.h"
#include "service/ws.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

class TestHandOver : public QObject
{
    Q_OBJECT

private slots:
    void linkNumber_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("numbers"); // shown, then dialled
        QTest::addRow("French") << "tel:+33-1-23-45-67-89"
                                << "0123456789 0033123456789";
        QTest::addRow("encoded") << "tel:%2B33%206%2012345678"
                                 << "0612345678 0033612345678";
        QTest::addRow("+33 then 0") << "tel:+33-012-345-678"
                                    << "0033012345678 0033012345678";
        QTest::addRow("callto") << "CallTo://+44.20.7946.0000"
                                << "00442079460000 00442079460000";
        QTest::addRow("parameters") << "tel:123;ext=3615"
                                    << " ";
        QTest::addRow("not a link") << "0612345678"
                                    << "(not a link) ";
    }

    void linkNumber()
    {
        QFETCH(QString, link);
        QFETCH(QString, numbers);
        const std::optional<QString> number = PhoneLink::numberText(link);
        QString text = number.value_or(QStringLiteral("(not a link)")), dial;
        if (number)
            WS::extractNumber(text, dial);
        QCOMPARE(text + u' ' + dial, numbers);
    }

    // Dropped, on a guard that took a crashed copy's socket over, before a later start's request.
    void guard_data()
    {
        QTest::addColumn<QByteArray>("garbage");
        QTest::addRow("no verb") << QByteArray("0612");
        QTest::addRow("not UTF-8") << QByteArray("OPEN \xff");
        QTest::addRow("oversized") << "OPEN " + QByteArray(1020, '6');
    }

    void guard()
    {
        QFETCH(QByteArray, garbage);
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("guard"));
        QCOMPARE(::mknod(QFile::encodeName(name).constData(), S_IFSOCK | 0600, 0), 0);
        SingleInstance first(name);
        QVERIFY(!first.handOver(QString()));
        QCOMPARE(QFile::permissions(name) & QFile::Permissions(0x0077), QFile::Permissions());
        QSignalSpy spy(&first, &SingleInstance::requested);
        QLocalSocket client;
        client.connectToServer(name);
        QVERIFY(client.waitForConnected() && client.write(garbage) && client.waitForBytesWritten());
        client.disconnectFromServer();
        QVERIFY(SingleInstance(name).handOver(QStringLiteral("0123456789")));
        first.acceptRequests();
        QTRY_COMPARE(spy.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestHandOver)
#include "tst_handover.moc"
