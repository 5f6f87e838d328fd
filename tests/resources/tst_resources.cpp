#include <QImage>
#include <QResource>
#include <QTest>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void image_data();
    void image();
    void iconStandsOut_data();
    void iconStandsOut();
};

void TestResources::image_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("colourType"); // as the PNG header says: 2 RGB, 4 grey+alpha, 6 RGBA
    QTest::newRow("logo-ivelor-100.png") << QSize(100, 102) << 6;
    QTest::newRow("button-call.png") << QSize(140, 27) << 6;
    QTest::newRow("call-bg.png") << QSize(1, 150) << 2;
    QTest::newRow("button-cancel.png") << QSize(140, 27) << 6;
    QTest::newRow("phone-logo-md.png") << QSize(100, 100) << 4;
    QTest::newRow("icon-24-edit.png") << QSize(24, 24) << 6;
    QTest::newRow("icon-128-phone.png") << QSize(128, 80) << 6;
    QTest::newRow("logo-ivelor-blue-100.png") << QSize(101, 104) << 6;
    QTest::newRow("setup-bg.png") << QSize(1, 415) << 2;
}

void TestResources::image()
{
    const QString path = QStringLiteral(":/") + QTest::currentDataTag();
    QFETCH(QSize, size);
    QFETCH(int, colourType);
    QCOMPARE(QImage(path).size(), size);
    QCOMPARE(int(QResource(path).uncompressedData().at(25)), colourType);
}

void TestResources::iconStandsOut_data()
{
    QTest::addColumn<int>("ground"); // grey level
    QTest::addColumn<int>("side");
    QTest::newRow("dark panel #202020") << 0x20 << 22;
    QTest::newRow("light panel #f0f0f0") << 0xf0 << 22;
    QTest::newRow("setup dialog column #4e5664") << 85 << 100;
}

// Drawn over the ground, a fifth of the icon's square must stand 100 grey levels off it.
void TestResources::iconStandsOut()
{
    QFETCH(int, ground);
    QFETCH(int, side);
    const QImage icon = QImage(QStringLiteral(":/phone-logo-md.png"))
                            .scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int seen = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            seen += qAlpha(icon.pixel(x, y)) * qAbs(qGray(icon.pixel(x, y)) - ground) >= 25500;
    QVERIFY2(seen * 5 >= side * side, qPrintable(QString::number(seen)));
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
