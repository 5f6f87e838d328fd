#include <QImage>
#include <QTest>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void standsOut_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("ground"); // grey level of the panel behind, or of the caption on top
        QTest::newRow("tray icon, dark panel") << ":/phone-logo-md.png" << QSize(22, 22) << 0x20;
        QTest::newRow("tray icon, light panel") << ":/phone-logo-md.png" << QSize(22, 22) << 0xf0;
        QTest::newRow("call button") << ":/button-call.png" << QSize(140, 27) << 255;
        QTest::newRow("cancel button") << ":/button-cancel.png" << QSize(140, 27) << 255;
    }

    // Shown at that size, a fifth of the picture must stand 100 grey levels off the ground.
    void standsOut()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QFETCH(int, ground);
        const QImage image =
            QImage(path).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        int seen = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                seen +=
                    qAlpha(image.pixel(x, y)) * qAbs(qGray(image.pixel(x, y)) - ground) >= 25500;
        QVERIFY2(seen * 5 >= size.width() * size.height(), qPrintable(QString::number(seen)));
    }
};

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
