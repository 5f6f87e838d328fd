// libFuzzer target: the recogniser against the literal rules. The first byte picks how the rest
// becomes text: raw UTF-16 code units (lone surrogates and all), or one byte per character of an
// alphabet of the characters that matter, where the interesting cases lie close together.

#include "referencerecogniser.h"
#include "ws.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString alphabet =
        QStringView(
            u"0123456789 \t\n\r\v\f\u0085\u00a0\u1680\u2000\u2028\u3000/()*+,-.a\u00e9:#'\u180e"
            u"\u200b\ufeff\xd800\xdbff\xdc00\xdfff\u0660\uff10\uffff00+(")
            .toString();
    if (size == 0)
        return 0;
    QString input;
    if (data[0] % 2) {
        input.resize(qsizetype(size - 1) / 2);
        std::memcpy(input.data(), data + 1, size_t(input.size()) * 2);
    } else {
        for (size_t i = 1; i < size; ++i)
            input += alphabet.at(data[i] % alphabet.size());
    }
    QString text = input, dial = QStringLiteral("(unchanged)"), same = input, normal = input;
    QString literalText = text, literalDial = dial, literalSame = same, literalNormal = normal;
    WS::extractNumber(text, dial);
    WS::extractNumber(same, same);
    WS::normalizeNumber(normal);
    ReferenceRecogniser::extractNumber(literalText, literalDial);
    ReferenceRecogniser::extractNumber(literalSame, literalSame);
    ReferenceRecogniser::normalizeNumber(literalNormal);
    if (text != literalText || dial != literalDial || same != literalSame ||
        normal != literalNormal) {
        std::fprintf(stderr, "The recogniser and the literal rules differ.\n");
        std::abort();
    }
    return 0;
}
