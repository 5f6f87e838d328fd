#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// tintelle-extract run as a program: what it reads, what it prints, how it ends.

class TestExtractTool : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

void TestExtractTool::run_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input"); // written to FILE when an argument is "FILE"
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("status");

    const QStringList none;
    const QStringList file{QStringLiteral("FILE")};
    const QStringList reference{QStringLiteral("--reference")};
    const QByteArray unchanged("\n(unchanged)\n");

    QTest::addRow("standard input")
        << none << QByteArray("06 12 34 56 78") << QByteArray("0612345678\n0033612345678\n") << 0;
    QTest::addRow("file") << file << QByteArray("T\xc3\xa9l. : 01 23 45 67 89\n")
                          << QByteArray("0123456789\n0033123456789\n") << 0;
    QTest::addRow("dash is standard input")
        << QStringList{"-"} << QByteArray("3615") << QByteArray("3615\n3615\n") << 0;
    QTest::addRow("reference") << reference << QByteArray("+33 (0)6 12 34 56 78")
                               << QByteArray("0033612345678\n0033612345678\n") << 0;
    QTest::addRow("reference with file")
        << reference + file << QByteArray("(01) 23 45 (67) 89") << unchanged << 0;
    QTest::addRow("no number") << none << QByteArray("bonjour") << unchanged << 0;
    QTest::addRow("empty") << none << QByteArray() << unchanged << 0;
    QTest::addRow("invalid UTF-8 separates") << none << QByteArray("36\xff-15") << unchanged << 0;
    QTest::addRow("invalid UTF-8 before a number")
        << file << QByteArray("\xff\xfe\xc3 3615") << QByteArray("3615\n3615\n") << 0;
    QTest::addRow("encoded surrogate, reference")
        << reference << QByteArray("\xed\xa0\x80 3615") << QByteArray("3615\n3615\n") << 0;
    QTest::addRow("NUL separates") << none << QByteArray("36\0 15", 5) << unchanged << 0;
    QTest::addRow("NUL after a number")
        << file << QByteArray("3615\0", 5) << QByteArray("3615\n3615\n") << 0;
    QTest::addRow("byte-order mark") << none << QByteArray("\xef\xbb\xbf+33 6 12 34 56 78")
                                     << QByteArray("0033612345678\n0033612345678\n") << 0;
    QTest::addRow("missing file") << QStringList{"/nonexistent/tintelle"} << QByteArray()
                                  << QByteArray() << 1;
    QTest::addRow("unknown option") << QStringList{"--fast"} << QByteArray() << QByteArray() << 2;
}

void TestExtractTool::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    QFETCH(int, status);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("input.txt"));
    const qsizetype fileArgument = arguments.indexOf(QStringLiteral("FILE"));
    if (fileArgument >= 0) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(input);
        arguments[fileArgument] = path;
    }

    QProcess tool;
    tool.start(QStringLiteral(TINTELLE_EXTRACT), arguments);
    QVERIFY(tool.waitForStarted());
    if (fileArgument < 0)
        tool.write(input);
    tool.closeWriteChannel();
    QVERIFY(tool.waitForFinished());
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), status);
    QCOMPARE(tool.readAllStandardOutput(), output);
    if (status != 0)
        QVERIFY(!tool.readAllStandardError().isEmpty());
}

QTEST_GUILESS_MAIN(TestExtractTool)
#include "tst_extracttool.moc"
