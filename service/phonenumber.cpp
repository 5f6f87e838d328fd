#include "phonenumber.h"

#include <QStringView>
#include <utility>

// The number rules without regular expressions, in time and memory linear in the text: a pasted
// log of any size must never freeze the tray. Each unit is looked at a few times at most, and
// only candidates with enough digits for a shape are copied and normalised.

namespace {

// What a UTF-16 code unit is to the recogniser. Every unit that is not a digit, a "+" or a
// joiner separates candidates, surrogates and non-ASCII digits included.
enum Unit : unsigned char { Separator, Joiner, Digit, Plus };

// The unit of every UTF-16 code unit, looked up without branches: on texts that mix kinds of
// units at random, a switch costs up to twelve times as much (bench_recogniser).
class UnitTable
{
public:
    UnitTable()
    {
        for (int c = 0; c < 0x10000; ++c)
            unit[c] = unitOf(char16_t(c));
    }

    Unit operator[](char16_t u) const { return unit[u]; }

private:
    // Spaces and the punctuation of written numbers join the digits of one candidate.
    static Unit unitOf(char16_t u)
    {
        if (u >= u'0' && u <= u'9')
            return Digit;
        switch (u) {
        case u'+':
            return Plus;
        // "(" to "." is one range in the separator class, so "*" and "," stay in candidates.
        case u'(':
        case u')':
        case u'*':
        case u',':
        case u'-':
        case u'.':
        case u'/':
            return Joiner;
        default:
            return QChar::isSpace(char32_t(u)) ? Joiner : Separator;
        }
    }

    Unit unit[0x10000];
};

// Built on first use, never during static initialisation.
const UnitTable &unitTable()
{
    static const UnitTable table;
    return table;
}

// Longest digit string of any shape: "00" and 26 more.
constexpr qsizetype maxDigits = 28;

// A digit or "+": what gives a candidate its digits.
inline bool givesDigits(char16_t u)
{
    return char16_t(u - u'0') < 10 || u == u'+';
}

struct Candidate
{
    qsizetype end = 0;
    qsizetype digits = 0; // with "+" counting for its two zeros
};

// Scans one candidate from `begin`, which is not a separator, to the next separator.
Candidate scanCandidate(const UnitTable &table, const char16_t *text, qsizetype begin,
                        qsizetype size)
{
    static constexpr unsigned char digitsOf[] = {0, 0, 1, 2};
    Candidate c;
    qsizetype i = begin;
    for (; i < size; ++i) {
        const Unit unit = table[text[i]];
        if (unit == Separator)
            break;
        c.digits += digitsOf[unit];
    }
    c.end = i;
    return c;
}

enum class Shape { None, National, International, Short };

Shape shapeOf(QStringView digits)
{
    const qsizetype count = digits.size();
    if (count == 10 && digits[0] == u'0' && digits[1] != u'0')
        return Shape::National;
    if (count >= 12 && count <= maxDigits && digits[0] == u'0' && digits[1] == u'0')
        return Shape::International;
    if (count == 4)
        return Shape::Short;
    return Shape::None;
}

} // namespace

namespace PhoneNumber {

QString &extract(QString &text, QString &dialNumber)
{
    const UnitTable &table = unitTable();
    const QStringView view(text);
    const char16_t *units = view.utf16();
    const qsizetype size = view.size();

    // Only candidates with a digit or a "+" can fit, and ordinary text has few: go from one such
    // unit to the next, and read just the candidates around them.
    qsizetype scanned = 0; // everything before has been looked at
    while (scanned < size) {
        qsizetype i = scanned;
        while (i < size && !givesDigits(units[i]))
            ++i;
        if (i == size)
            break;
        // `scanned` is 0 or a separator, so the candidate starts at or after it.
        while (i > scanned && table[units[i - 1]] != Separator)
            --i;
        const Candidate c = scanCandidate(table, units, i, size);
        scanned = c.end;
        // Fewer digits than the shortest shape fits nothing.
        if (c.digits < 4)
            continue;

        QString number = view.sliced(i, c.end - i).toString();
        normalize(number);
        const Shape shape = shapeOf(number);
        if (shape == Shape::None)
            continue;

        // `text` first, then the dial form: when both are one string, the dial form is left.
        QString dial = number;
        if (shape == Shape::National)
            dial.replace(0, 1, QStringLiteral("0033"));
        text = std::move(number);
        dialNumber = std::move(dial);
        return text;
    }
    text.clear();
    return text;
}

QString &normalize(QString &number)
{
    const QStringView view(number);
    const qsizetype firstOpen = view.indexOf(u'(');
    const qsizetype lastClose = view.lastIndexOf(u')');
    const bool cut = firstOpen >= 0 && lastClose > firstOpen;

    // Written through a pointer into room for the worst case, every unit a "+": the recogniser
    // hands this megabyte candidates.
    QString normal(view.size() * 2, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(normal.data());
    char16_t *const begin = out;
    for (qsizetype i = 0; i < view.size(); ++i) {
        if (cut && i == firstOpen) {
            i = lastClose;
            continue;
        }
        const char16_t u = view.utf16()[i];
        if (u == u'+') {
            *out++ = u'0';
            *out++ = u'0';
        } else if (char16_t(u - u'0') < 10 || (u >= 0x80 && QChar::isDigit(char32_t(u)))) {
            *out++ = u;
        }
    }
    normal.truncate(out - begin);
    number = std::move(normal);
    return number;
}

} // namespace PhoneNumber
