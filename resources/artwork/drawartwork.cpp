// Draws every picture of resources/ from vector shapes, so the artwork can be regenerated and
// changed at the source. Usage: drawartwork <output directory>. render.sh fixes the PNG colour
// types afterwards (Qt cannot write grey with alpha).

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QTransform>
#include <cmath>
#include <cstdio>

namespace {

QImage transparentCanvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Each channel is interpolated and rounded on its own, so the end rows carry the exact colours.
QImage gradientStrip(int height, QColor top, QColor bottom)
{
    QImage image(1, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const double t = double(y) / (height - 1);
        const auto mix = [t](int a, int b) { return int(std::lround(a + (b - a) * t)); };
        image.setPixel(0, y,
                       qRgb(mix(top.red(), bottom.red()), mix(top.green(), bottom.green()),
                            mix(top.blue(), bottom.blue())));
    }
    return image;
}

QPainterPath outlineOf(const QPainterPath &centreLine, qreal width,
                       Qt::PenCapStyle cap = Qt::RoundCap)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(centreLine).simplified();
}

QPainterPath circle(QPointF centre, qreal radius)
{
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

// The face stays mid-dark all over: the captions drawn on it are white.
QImage buttonFace(QColor top, QColor bottom, QColor edge)
{
    QImage image = transparentCanvas(140, 27);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QPainterPath shape;
    shape.addRoundedRect(QRectF(0.5, 0.5, 139, 26), 6, 6);
    QLinearGradient fill(0, 0, 0, 27);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.fillPath(shape, fill);

    p.save();
    p.setClipPath(shape);
    QLinearGradient sheen(0, 0, 0, 13);
    sheen.setColorAt(0, QColor(255, 255, 255, 55));
    sheen.setColorAt(1, QColor(255, 255, 255, 12));
    p.fillRect(QRectF(0, 0, 140, 13), sheen);
    p.setPen(QPen(QColor(255, 255, 255, 80), 1));
    p.drawLine(QPointF(6, 1.5), QPointF(134, 1.5));
    p.restore();

    p.setPen(QPen(edge, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    return image;
}

QImage pencil()
{
    QImage image = transparentCanvas(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn along +x with the point at +x, then turned so the point is at the lower left.
    p.translate(12, 12.5);
    p.rotate(135);

    const qreal h = 3.4;
    const qreal bodyStart = -7.5, woodStart = 5.5, tip = 12.5;

    QPainterPath eraser;
    eraser.addRoundedRect(QRectF(-13.5, -h, 5, 2 * h), 1.8, 1.8);
    p.fillPath(eraser, QColor(0xE9, 0x8A, 0x8F));

    QLinearGradient metal(0, -h, 0, h);
    metal.setColorAt(0, QColor(0xE4, 0xE4, 0xE4));
    metal.setColorAt(1, QColor(0x8C, 0x8C, 0x8C));
    p.fillRect(QRectF(-10.5, -h, 3, 2 * h), metal);

    // Three facets of the hexagonal body.
    const QColor facets[] = {QColor(0xFF, 0xB9, 0x4A), QColor(0xF5, 0x8F, 0x12),
                             QColor(0xC9, 0x62, 0x05)};
    for (int i = 0; i < 3; ++i)
        p.fillRect(QRectF(bodyStart, -h + i * 2 * h / 3, woodStart - bodyStart, 2 * h / 3),
                   facets[i]);

    QPainterPath wood;
    wood.moveTo(woodStart, -h);
    wood.lineTo(tip, 0);
    wood.lineTo(woodStart, h);
    wood.closeSubpath();
    p.fillPath(wood, QColor(0xF3, 0xD3, 0xA2));

    const qreal leadStart = 9.8;
    const qreal leadHalf = h * (tip - leadStart) / (tip - woodStart);
    QPainterPath lead;
    lead.moveTo(leadStart, -leadHalf);
    lead.lineTo(tip, 0);
    lead.lineTo(leadStart, leadHalf);
    lead.closeSubpath();
    p.fillPath(lead, QColor(0x33, 0x33, 0x33));

    QPainterPath silhouette = eraser;
    QPainterPath shaft;
    shaft.addRect(QRectF(-11, -h, woodStart + 11, 2 * h));
    silhouette = silhouette.united(shaft).united(wood);
    p.setPen(QPen(QColor(0x7A, 0x3B, 0x00), 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(silhouette);
    return image;
}

QImage rotaryPhone()
{
    QImage image = transparentCanvas(128, 80);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen rim(QColor(0, 0, 0), 1);

    // Cradle prongs, behind the handset.
    QPainterPath prongs;
    prongs.addRoundedRect(QRectF(33, 19, 9, 14), 3, 3);
    prongs.addRoundedRect(QRectF(86, 19, 9, 14), 3, 3);
    p.fillPath(prongs, QColor(0x1C, 0x1C, 0x1C));

    // Shell: a tapering body on a plinth.
    QPainterPath body;
    body.moveTo(20, 74);
    body.cubicTo(21, 52, 27, 31, 42, 28);
    body.lineTo(86, 28);
    body.cubicTo(101, 31, 107, 52, 108, 74);
    body.closeSubpath();
    QPainterPath plinth;
    plinth.addRoundedRect(QRectF(11.5, 69.5, 105, 9), 4, 4);
    const QPainterPath shell = body.united(plinth);
    QLinearGradient shellFill(0, 28, 0, 79);
    shellFill.setColorAt(0, QColor(0x4C, 0x4C, 0x4C));
    shellFill.setColorAt(0.45, QColor(0x24, 0x24, 0x24));
    shellFill.setColorAt(1, QColor(0x08, 0x08, 0x08));
    p.fillPath(shell, shellFill);
    p.strokePath(shell, rim);
    QPainterPath shellGloss;
    shellGloss.moveTo(27, 58);
    shellGloss.cubicTo(28, 45, 33, 33, 43, 30.5);
    shellGloss.lineTo(85, 30.5);
    p.strokePath(shellGloss, QPen(QColor(255, 255, 255, 70), 1.2, Qt::SolidLine, Qt::RoundCap));
    QPainterPath plinthGloss(QPointF(16, 71));
    plinthGloss.lineTo(112, 71);
    p.strokePath(plinthGloss, QPen(QColor(255, 255, 255, 45), 1, Qt::SolidLine, Qt::RoundCap));

    // Handset resting across the cradle: a handle between two cups.
    QPainterPath handleLine(QPointF(24, 17));
    handleLine.cubicTo(48, 9, 80, 9, 104, 17);
    QPainterPath handset = outlineOf(handleLine, 9);
    QPainterPath cups;
    cups.addRoundedRect(QRectF(6.5, 8.5, 30, 19), 9, 8);
    cups.addRoundedRect(QRectF(91.5, 8.5, 30, 19), 9, 8);
    handset = handset.united(cups.simplified());
    QLinearGradient handsetFill(0, 8, 0, 28);
    handsetFill.setColorAt(0, QColor(0x55, 0x55, 0x55));
    handsetFill.setColorAt(0.5, QColor(0x22, 0x22, 0x22));
    handsetFill.setColorAt(1, QColor(0x0A, 0x0A, 0x0A));
    p.fillPath(handset, handsetFill);
    p.strokePath(handset, rim);
    QPainterPath handsetGloss(QPointF(12, 11));
    handsetGloss.cubicTo(40, 5.5, 88, 5.5, 116, 11);
    p.save();
    p.setClipPath(handset);
    p.strokePath(handsetGloss, QPen(QColor(255, 255, 255, 90), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.restore();

    // Dial: a black finger wheel over a white number card.
    const QPointF centre(64, 53);
    QRadialGradient cardFill(centre, 19);
    cardFill.setColorAt(0, QColor(0xF4, 0xF4, 0xF0));
    cardFill.setColorAt(1, QColor(0xC8, 0xC8, 0xC2));
    p.setPen(QPen(QColor(0xA8, 0xA8, 0xA8), 1.2));
    p.setBrush(QColor(0x12, 0x12, 0x12));
    p.drawEllipse(centre, 19, 19);
    p.setPen(QPen(QColor(0x00, 0x00, 0x00), 0.8));
    p.setBrush(cardFill);
    for (int i = 0; i < 10; ++i) {
        const double angle = (45 + 30 * i) * M_PI / 180;
        p.drawEllipse(centre + QPointF(std::cos(angle), std::sin(angle)) * 12.5, 3.6, 3.6);
    }
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 0.8));
    p.drawEllipse(centre, 6, 6);
    const double stop = 17 * M_PI / 180;
    const QPointF stopDirection(std::cos(stop), std::sin(stop));
    p.setPen(QPen(QColor(0xD8, 0xD8, 0xD8), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + stopDirection * 13, centre + stopDirection * 21);
    return image;
}

// The handset glyph, centred on the origin, about 64 units long: earpiece at the upper left,
// mouthpiece at the lower right, the handle bowing towards the lower left.
QPainterPath handsetGlyph()
{
    QPainterPath handle(QPointF(0, -22));
    handle.cubicTo(-18, -9, -18, 9, 0, 22);
    QPainterPath glyph = outlineOf(handle, 10.5, Qt::FlatCap);

    // Cups stand out towards the hollow of the handle, their faces turned slightly apart.
    QPainterPath cup;
    cup.addRoundedRect(QRectF(-7, -8.5, 23, 17), 5, 5);
    glyph = glyph.united(QTransform().translate(0, -26).rotate(-14).map(cup));
    glyph = glyph.united(QTransform().translate(0, 26).rotate(14).map(cup));
    return QTransform().rotate(-45).map(glyph.simplified());
}

// The handset in a ring, black on a white face with a white rim, on a transparent ground, fitted
// into a square of the given side. The white keeps it visible on dark panels and on the setup
// dialog's dark column; the black keeps it visible on light ones.
QImage handsetBadge(int side)
{
    const QPointF centre(50, 50);
    QPainterPath ring;
    ring.addEllipse(centre, 42.5, 42.5);

    QImage image = transparentCanvas(side, side);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 100.0, side / 100.0);
    p.fillPath(circle(centre, 49), Qt::white);
    p.fillPath(outlineOf(ring, 8), Qt::black);
    p.translate(47.5, 50);
    p.scale(0.92, 0.92);
    p.fillPath(handsetGlyph(), Qt::black);
    return image;
}

// The maker's mark: a disc with a lower-case "iv" cut out of it, on a 100-unit square.
QPainterPath makerMark()
{
    QPainterPath letters = circle(QPointF(33, 28), 7.5);
    QPainterPath stem(QPointF(33, 44));
    stem.lineTo(33, 74);
    letters = letters.united(outlineOf(stem, 13));
    QPainterPath vee(QPointF(48, 44));
    vee.lineTo(60.5, 74);
    vee.lineTo(73, 44);
    vee.quadTo(76, 36, 82, 34);
    letters = letters.united(outlineOf(vee, 12));
    return circle(QPointF(50, 50), 49.5).subtracted(letters).simplified();
}

QImage makerLogo(int width, int height, const QBrush &brush)
{
    QImage image = transparentCanvas(width, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width, height);
    p.translate((width - side) / 2, (height - side) / 2);
    p.scale(side / 100, side / 100);
    p.fillPath(makerMark(), brush);
    return image;
}

// A single 32-bit DIB entry (header, bottom-up BGRA rows, then the AND mask), not PNG, so every
// Windows version reads it.
QByteArray icoFile(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width(), h = image.height();
    const int maskStride = (w + 31) / 32 * 4;
    const quint32 bitsSize = quint32(w * h * 4 + maskStride * h);

    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(1);
    out << quint8(w % 256) << quint8(h % 256) << quint8(0) << quint8(0) << quint16(1) << quint16(32)
        << quint32(40 + bitsSize) << quint32(6 + 16);
    out << quint32(40) << qint32(w) << qint32(2 * h) << quint16(1) << quint16(32) << quint32(0)
        << bitsSize << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int y = h - 1; y >= 0; --y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            out << quint32(row[x]);
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray bits(maskStride, '\0');
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (qAlpha(row[x]) == 0)
                bits[x / 8] = char(bits[x / 8] | (0x80 >> (x % 8)));
        out.writeRawData(bits.constData(), bits.size());
    }
    return data;
}

bool save(const QImage &image, const QDir &dir, const QString &name)
{
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (image.convertToFormat(format).save(dir.filePath(name), "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(dir.filePath(name)));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));

    QLinearGradient blue(0, 0, 0, 104);
    blue.setColorAt(0, QColor(0x2E, 0x7F, 0xE0));
    blue.setColorAt(1, QColor(0x17, 0x4F, 0xB0));

    bool ok = save(gradientStrip(150, QColor(0x5E, 0x67, 0x75), QColor(0x3E, 0x45, 0x51)), dir,
                   "call-bg.png");
    ok &= save(gradientStrip(415, QColor(0x5F, 0x67, 0x77), QColor(0x3E, 0x45, 0x52)), dir,
               "setup-bg.png");
    ok &= save(
        buttonFace(QColor(0x44, 0x9C, 0x40), QColor(0x25, 0x69, 0x27), QColor(0x1E, 0x55, 0x20)),
        dir, "button-call.png");
    ok &= save(
        buttonFace(QColor(0xD6, 0x4F, 0x47), QColor(0x9E, 0x28, 0x24), QColor(0x74, 0x1B, 0x18)),
        dir, "button-cancel.png");
    ok &= save(pencil(), dir, "icon-24-edit.png");
    ok &= save(rotaryPhone(), dir, "icon-128-phone.png");
    ok &= save(handsetBadge(100), dir, "phone-logo-md.png");
    ok &= save(makerLogo(100, 102, Qt::white), dir, "logo-ivelor-100.png");
    ok &= save(makerLogo(101, 104, blue), dir, "logo-ivelor-blue-100.png");

    QFile ico(dir.filePath("tintelle.ico"));
    ok &= ico.open(QIODevice::WriteOnly) && ico.write(icoFile(handsetBadge(128))) > 0;
    // The branded edition's executable shows the maker's blue logo, as its tray icon does.
    QFile brandedIco(dir.filePath("sonaro.ico"));
    ok &= brandedIco.open(QIODevice::WriteOnly) &&
          brandedIco.write(icoFile(makerLogo(128, 128, blue))) > 0;
    return ok ? 0 : 1;
}
