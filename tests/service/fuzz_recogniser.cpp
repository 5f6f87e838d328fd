// libFuzzer target: the recogniser against the literal rules on short inputs. The first byte
// chooses how the rest becomes a QString: as UTF-8; as raw UTF-16 code units, which reaches lone
// surrogates and every BMP character; or one byte per character of a small alphabet of the
// characters that matter, where the interesting cases lie close together.

#include "referencerecogniser.h"
#include "ws.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void fail(const char *what, const QString &input, const QString &got, const QString &expected)
{
    std::fprintf(stderr, "%s differs\n  input:", what);
    for (QChar c : input)
        std::fprintf(stderr, " %04x", c.unicode());
    std::fprintf(stderr, "\n  got: %s\n  expected: %s\n", qUtf8Printable(got),
                 qUtf8Printable(expected));
    std::abort();
}

QString fromInput(const uint8_t *data, size_t size)
{
    static constexpr char16_t alphabet[64] = {
        u'0',   u'1',   u'2',   u'3',   u'4',   u'5',   u'6',   u'7',   u'8',   u'9',   u' ',
        u'\t',  u'\n',  u'\r',  0x000b, 0x000c, 0x0085, 0x00a0, 0x1680, 0x2000, 0x200a, 0x2028,
        0x2029, 0x202f, 0x205f, 0x3000, u'/',   u'(',   u')',   u'*',   u'+',   u',',   u'-',
        u'.',   u'a',   0x00e9, u':',   u'#',   u'\'',  0x0008, 0x000e, 0x001f, u'!',   0x180e,
        0x200b, 0xfeff, 0x0000, 0xd800, 0xdbff, 0xdc00, 0xdfff, 0xd83d, 0xdcde, 0x0660, 0x0663,
        0x0966, 0xff10, 0xff19, 0xfffd, 0xffff, u'0',   u'0',   u'+',   u'('};
    const uint8_t *bytes = data + 1;
    const qsizetype count = qsizetype(size - 1);
    switch (data[0] % 3) {
    case 0:
        return QString::fromUtf8(reinterpret_cast<const char *>(bytes), count);
    case 1: {
        QString units(count / 2, Qt::Uninitialized);
        if (!units.isEmpty())
            std::memcpy(units.data(), bytes, size_t(units.size()) * 2);
        return units;
    }
    default: {
        QString chosen(count, Qt::Uninitialized);
        for (qsizetype i = 0; i < count; ++i)
            chosen[i] = QChar(alphabet[bytes[i] % 64]);
        return chosen;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QString input = fromInput(data, size);
    const QString unchanged = QStringLiteral("(unchanged)");

    QString referenceText = input;
    QString referenceDial = unchanged;
    ReferenceRecogniser::extractNumber(referenceText, referenceDial);
    QString text = input;
    QString dial = unchanged;
    WS::extractNumber(text, dial);
    if (text != referenceText)
        fail("text", input, text, referenceText);
    if (dial != referenceDial)
        fail("dialNumber", input, dial, referenceDial);

    QString referenceSame = input;
    ReferenceRecogniser::extractNumber(referenceSame, referenceSame);
    QString same = input;
    WS::extractNumber(same, same);
    if (same != referenceSame)
        fail("one string as both arguments", input, same, referenceSame);

    QString referenceNormal = input;
    ReferenceRecogniser::normalizeNumber(referenceNormal);
    QString normal = input;
    WS::normalizeNumber(normal);
    if (normal != referenceNormal)
        fail("normalised", input, normal, referenceNormal);
    return 0;
}
