#include "ws.h"

#include <QStringView>
#include <utility>

// The number rules without regular expressions, in time and memory linear in the text: a pasted
// log of any size must never freeze the tray. Each unit is looked at a few times at most, and
// only candidates with enough digits for a shape are copied and normalised.

namespace {

// What a UTF-16 code unit is to the recogniser. Every unit outside the kept set separates
// candidates, surrogates and non-ASCII digits included.
enum Unit : unsigned char { Separator, Kept, Digit, Plus };

// The unit of every UTF-16 code unit, looked up without branches, so that texts mixing kinds of
// units at random cost no more than plain ones.
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
            return Kept;
        default:
            return QChar::isSpace(char32_t(u)) ? Kept : Separator;
        }
    }

    Unit unit[0x10000];
};

const UnitTable &unitTable()
{
    static const UnitTable table;
    return table;
}

// Longest digit string of any shape: "00" and 26 more.
constexpr qsizetype maxDigits = 28;

// A digit or "+": what gives a candidate its digits.
inline bool isWeighty(char16_t u)
{
    return char16_t(u - u'0') < 10 || u == u'+';
}

struct Candidate
{
    qsizetype end = 0;
    qsizetype weight = 0; // digits, with "+" counting for its two zeros
};

// Reads one candidate from `begin`, which is not a separator, to the next separator.
Candidate readCandidate(const UnitTable &table, const char16_t *text, qsizetype begin,
                        qsizetype size)
{
    static constexpr unsigned char weightOf[] = {0, 0, 1, 2};
    Candidate c;
    qsizetype i = begin;
    for (; i < size; ++i) {
        const Unit unit = table[text[i]];
        if (unit == Separator)
            break;
        c.weight += weightOf[unit];
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

QString &WS::extractNumber(QString &text, QString &dialNumber)
{
    const UnitTable &table = unitTable();
    const QStringView view(text);
    const char16_t *units = view.utf16();
    const qsizetype size = view.size();

    // Only candidates with a digit or a "+" can fit, and ordinary text has few: go from one such
    // unit to the next, and read just the candidates around them.
    qsizetype read = 0; // everything before has been read
    while (read < size) {
        qsizetype i = read;
        while (i < size && !isWeighty(units[i]))
            ++i;
        if (i == size)
            break;
        // `read` is 0 or a separator, so the candidate starts at or after it.
        while (i > read && table[units[i - 1]] != Separator)
            --i;
        const Candidate c = readCandidate(table, units, i, size);
        read = c.end;
        // Fewer digits than the shortest shape fits nothing.
        if (c.weight < 4)
            continue;

        QString number = view.sliced(i, c.end - i).toString();
        normalizeNumber(number);
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

QString &WS::normalizeNumber(QString &number)
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
