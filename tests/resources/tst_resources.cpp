#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QResource>
#include <QTest>
#include <QtEndian>
#include <cmath>

namespace {

enum PngColourType { Grey = 0, Rgb = 2, GreyAlpha = 4, Rgba = 6 };

// The colour that the visible pixels of a picture must add up to.
enum class Ink { None, White, Black, Blue, Green, Red, Orange };

struct Ihdr
{
    quint32 width = 0, height = 0;
    int bitDepth = -1, colourType = -1, compression = -1, filter = -1, interlace = -1;
};

// Reads the header chunk, which a valid PNG must carry first, right after the signature.
bool readIhdr(const QByteArray &png, Ihdr *ihdr)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (png.size() < 33 || !png.startsWith(signature) || png.mid(12, 4) != "IHDR" ||
        qFromBigEndian<quint32>(png.constData() + 8) != 13)
        return false;
    const auto *d = reinterpret_cast<const uchar *>(png.constData()) + 16;
    ihdr->width = qFromBigEndian<quint32>(d);
    ihdr->height = qFromBigEndian<quint32>(d + 4);
    ihdr->bitDepth = d[8];
    ihdr->colourType = d[9];
    ihdr->compression = d[10];
    ihdr->filter = d[11];
    ihdr->interlace = d[12];
    return true;
}

// Mean colour of the pixels that are at least half opaque.
QColor meanInk(const QImage &image, int *count)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    double r = 0, g = 0, b = 0;
    *count = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            if (qAlpha(p) < 128)
                continue;
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
            ++*count;
        }
    if (*count == 0)
        return {};
    return QColor(qRound(r / *count), qRound(g / *count), qRound(b / *count));
}

bool inkMatches(Ink ink, const QColor &c)
{
    const int r = c.red(), g = c.green(), b = c.blue();
    switch (ink) {
    case Ink::None:
        return true;
    case Ink::White:
        return qMin(r, qMin(g, b)) >= 240;
    case Ink::Black:
        return qMax(r, qMax(g, b)) <= 70;
    case Ink::Blue:
        return b > r + 60 && b > g + 30;
    case Ink::Green:
        return g > r + 40 && g > b + 40;
    case Ink::Red:
        return r > g + 60 && r > b + 60;
    case Ink::Orange:
        return r > g && g > b && r - b > 100;
    }
    return false;
}

double relativeLuminance(QRgb p)
{
    const auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(p)) + 0.7152 * linear(qGreen(p)) + 0.0722 * linear(qBlue(p));
}

QByteArray sourceFile(const QString &relativePath)
{
    QFile file(QDir(qEnvironmentVariable("TINTELLE_SOURCE_DIR")).filePath(relativePath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void rootHoldsExactlyTheImages();
    void image_data();
    void image();
    void gradientStrip_data();
    void gradientStrip();
    void buttonFaceCarriesWhiteCaption_data();
    void buttonFaceCarriesWhiteCaption();
    void executableIcon();
};

void TestResources::rootHoldsExactlyTheImages()
{
    QStringList files = QDir(QStringLiteral(":/")).entryList(QDir::Files);
    files.sort();
    const QStringList expected = {
        "button-call.png",          "button-cancel.png", "call-bg.png",
        "icon-128-phone.png",       "icon-24-edit.png",  "logo-ivelor-100.png",
        "logo-ivelor-blue-100.png", "phone-logo-md.png", "setup-bg.png"};
    QCOMPARE(files, expected);
}

void TestResources::image_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("colourType");
    QTest::addColumn<int>("ink");

    QTest::addRow("white maker logo")
        << ":/logo-ivelor-100.png" << QSize(100, 102) << int(Rgba) << int(Ink::White);
    QTest::addRow("call button") << ":/button-call.png" << QSize(140, 27) << int(Rgba)
                                 << int(Ink::Green);
    QTest::addRow("call dialog background")
        << ":/call-bg.png" << QSize(1, 150) << int(Rgb) << int(Ink::None);
    QTest::addRow("cancel button")
        << ":/button-cancel.png" << QSize(140, 27) << int(Rgba) << int(Ink::Red);
    QTest::addRow("handset in a ring")
        << ":/phone-logo-md.png" << QSize(100, 100) << int(GreyAlpha) << int(Ink::Black);
    QTest::addRow("pencil") << ":/icon-24-edit.png" << QSize(24, 24) << int(Rgba)
                            << int(Ink::Orange);
    QTest::addRow("rotary telephone")
        << ":/icon-128-phone.png" << QSize(128, 80) << int(Rgba) << int(Ink::Black);
    QTest::addRow("blue maker logo")
        << ":/logo-ivelor-blue-100.png" << QSize(101, 104) << int(Rgba) << int(Ink::Blue);
    QTest::addRow("setup dialog background")
        << ":/setup-bg.png" << QSize(1, 415) << int(Rgb) << int(Ink::None);
}

void TestResources::image()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(int, colourType);
    QFETCH(int, ink);

    QVERIFY(QFile::exists(path));
    const QResource resource(path);
    QVERIFY(resource.isValid());
    // Stored as is: PNG data gains nothing from a second deflate.
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);

    Ihdr ihdr;
    QVERIFY(readIhdr(resource.uncompressedData(), &ihdr));
    QCOMPARE(QSize(int(ihdr.width), int(ihdr.height)), size);
    QCOMPARE(ihdr.bitDepth, 8);
    QCOMPARE(ihdr.colourType, colourType);
    QCOMPARE(ihdr.compression, 0);
    QCOMPARE(ihdr.filter, 0);
    QCOMPARE(ihdr.interlace, 0);

    const QImage image(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    const bool alpha = colourType == GreyAlpha || colourType == Rgba;
    QCOMPARE(image.hasAlphaChannel(), alpha);
    if (alpha) {
        // Shapes on a transparent ground: the corners show what lies behind.
        const int w = size.width() - 1, h = size.height() - 1;
        for (const QPoint corner : {QPoint(0, 0), QPoint(w, 0), QPoint(0, h), QPoint(w, h)})
            QCOMPARE(qAlpha(image.pixel(corner)), 0);
    }

    int inked = 0;
    const QColor mean = meanInk(image, &inked);
    QVERIFY2(inked > size.width() * size.height() / 10, qPrintable(QString::number(inked)));
    QVERIFY2(inkMatches(Ink(ink), mean), qPrintable(mean.name()));
}

void TestResources::gradientStrip_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QColor>("top");
    QTest::addColumn<QColor>("bottom");

    QTest::addRow("call dialog") << ":/call-bg.png" << QColor(0x5E, 0x67, 0x75)
                                 << QColor(0x3E, 0x45, 0x51);
    QTest::addRow("setup dialog") << ":/setup-bg.png" << QColor(0x5F, 0x67, 0x77)
                                  << QColor(0x3E, 0x45, 0x52);
}

void TestResources::gradientStrip()
{
    QFETCH(QString, path);
    QFETCH(QColor, top);
    QFETCH(QColor, bottom);

    const QImage strip(path);
    QVERIFY(!strip.isNull());
    const auto near = [](QRgb actual, const QColor &expected) {
        return qAbs(qRed(actual) - expected.red()) <= 2 &&
               qAbs(qGreen(actual) - expected.green()) <= 2 &&
               qAbs(qBlue(actual) - expected.blue()) <= 2;
    };
    QVERIFY2(near(strip.pixel(0, 0), top), qPrintable(QColor(strip.pixel(0, 0)).name()));
    const QRgb last = strip.pixel(0, strip.height() - 1);
    QVERIFY2(near(last, bottom), qPrintable(QColor(last).name()));

    // Darkening all the way down, with no visible band.
    for (int y = 1; y < strip.height(); ++y) {
        const QRgb above = strip.pixel(0, y - 1), here = strip.pixel(0, y);
        const int steps[] = {qRed(above) - qRed(here), qGreen(above) - qGreen(here),
                             qBlue(above) - qBlue(here)};
        for (int step : steps)
            QVERIFY2(step >= 0 && step <= 2, qPrintable(QStringLiteral("row %1").arg(y)));
    }
}

void TestResources::buttonFaceCarriesWhiteCaption_data()
{
    QTest::addColumn<QString>("path");
    QTest::addRow("call") << ":/button-call.png";
    QTest::addRow("cancel") << ":/button-cancel.png";
}

void TestResources::buttonFaceCarriesWhiteCaption()
{
    QFETCH(QString, path);
    const QImage face = QImage(path).convertToFormat(QImage::Format_ARGB32);
    // The caption is drawn in white across the middle of the face, which is opaque there.
    for (int y = 8; y <= 18; ++y)
        for (int x = 20; x < 120; x += 5) {
            const QRgb p = face.pixel(x, y);
            QCOMPARE(qAlpha(p), 255);
            const double contrast = 1.05 / (relativeLuminance(p) + 0.05);
            QVERIFY2(contrast >= 3.0, qPrintable(QStringLiteral("%1 at %2,%3: %4")
                                                     .arg(QColor(p).name())
                                                     .arg(x)
                                                     .arg(y)
                                                     .arg(contrast)));
        }
}

// The desktop reads the executable's icon from this file: one 128 x 128, 32 bpp DIB entry
// whose picture is the plain edition's handset.
void TestResources::executableIcon()
{
    const QByteArray ico = sourceFile(QStringLiteral("resources/tintelle.ico"));
    const int dibSize = 40 + 128 * 128 * 4 + 128 * 16;
    QCOMPARE(dibSize, 67624);
    QCOMPARE(ico.size(), 6 + 16 + dibSize);

    const auto *d = reinterpret_cast<const uchar *>(ico.constData());
    const auto u16 = [d](int at) { return qFromLittleEndian<quint16>(d + at); };
    const auto u32 = [d](int at) { return qFromLittleEndian<quint32>(d + at); };
    QCOMPARE(u16(0), 0);
    QCOMPARE(u16(2), 1); // icon, not cursor
    QCOMPARE(u16(4), 1);
    QCOMPARE(int(d[6]), 128);
    QCOMPARE(int(d[7]), 128);
    QCOMPARE(int(d[8]), 0);
    QCOMPARE(u16(10), 1);
    QCOMPARE(u16(12), 32);
    QCOMPARE(u32(14), quint32(dibSize));
    QCOMPARE(u32(18), 22u);

    const int dib = 22;
    QVERIFY2(ico.mid(dib, 4) != "\x89PNG", "entry must be a DIB");
    QCOMPARE(u32(dib), 40u);
    QCOMPARE(u32(dib + 4), 128u);
    QCOMPARE(u32(dib + 8), 256u); // colour rows and mask rows
    QCOMPARE(u16(dib + 12), 1);
    QCOMPARE(u16(dib + 14), 32);
    QCOMPARE(u32(dib + 16), 0u); // BI_RGB

    const QImage reference = QImage(QStringLiteral(":/phone-logo-md.png"))
                                 .scaled(128, 128, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                 .convertToFormat(QImage::Format_ARGB32);
    const uchar *colour = d + dib + 40;
    const uchar *mask = colour + 128 * 128 * 4;
    double alphaDifference = 0;
    int visible = 0;
    for (int row = 0; row < 128; ++row) {
        const int y = 127 - row; // bottom-up
        for (int x = 0; x < 128; ++x) {
            const uchar *bgra = colour + (row * 128 + x) * 4;
            const bool masked = mask[row * 16 + x / 8] & (0x80 >> (x % 8));
            // Older shells draw from the mask alone: it must hide exactly the clear pixels.
            QCOMPARE(masked, bgra[3] == 0);
            if (bgra[3] > 0) {
                ++visible;
                QVERIFY(bgra[0] <= 40 && bgra[1] <= 40 && bgra[2] <= 40);
            }
            alphaDifference += qAbs(bgra[3] - qAlpha(reference.pixel(x, y)));
        }
    }
    QVERIFY(visible > 128 * 128 / 10);
    QVERIFY2(alphaDifference / (128 * 128) < 8, qPrintable(QString::number(alphaDifference)));
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
