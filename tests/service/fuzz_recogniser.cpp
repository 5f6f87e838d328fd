// libFuzzer target: the recogniser against the literal rules. The first byte picks how the rest is
// read: raw UTF-16 code units, or one byte per character of an alphabet of those that matter.

#include "service/phonenumber.h"
#include "tools/reference/referencerecogniser.h"

#include <QStringList>
#include <cstdlib>
#include <cstring>

namespace {

using Extract = QString &(*)(QString &, QString &);
using Normalize = QString &(*)(QString &);

QStringList outcome(Extract extractNumber, Normalize normalizeNumber, const QString &input)
{
    QStringList out{input, QStringLiteral("(unchanged)"), input, input};
    extractNumber(out[0], out[1]);
    extractNumber(out[2], out[2]);
    normalizeNumber(out[3]);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString alphabet =
        QStringView(u"0123456789 \t\n\r\v\f\u0085\u00a0\u1680\u2000\u2028\u3000/()*+,-.a\u00e9:#'"
                    u"\u180e\u200b\ufeff\xd800\xdbff\xdc00\xdfff\u0660\uff10\uffff00+(")
            .toString();
    QString input;
    if (size > 0 && data[0] % 2) {
        input.resize(qsizetype(size - 1) / 2);
        std::memcpy(input.data(), data + 1, size_t(input.size()) * 2);
    }
    for (size_t i = 1; i < size && data[0] % 2 == 0; ++i)
        input += alphabet.at(data[i] % alphabet.size());
    if (outcome(&PhoneNumber::extract, &PhoneNumber::normalize, input) !=
        outcome(&ReferenceRecogniser::extractNumber, &ReferenceRecogniser::normalizeNumber, input))
        std::abort();
    return 0;
}
