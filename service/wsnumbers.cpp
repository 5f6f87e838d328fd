#include "ws.h"

#include <QStringView>
#include <utility>

// The recogniser in one pass over the text, without regular expressions: a pasted log of any
// size must never freeze the tray. Each candidate is reduced to its digits in place of copying it,
// and only the first 29 of them are kept, enough to tell every shape from a longer run.

namespace {

// What a UTF-16 code unit is to the recogniser. Every unit outside the kept set separates
// candidates, surrogates and non-ASCII digits included.
enum class Unit : unsigned char { Separator, Kept, Digit, Plus, Open, Close };

struct AsciiUnits
{
    Unit unit[128] = {};

    constexpr AsciiUnits()
    {
        for (int c = '0'; c <= '9'; ++c)
            unit[c] = Unit::Digit;
        for (int c = '\t'; c <= '\r'; ++c)
            unit[c] = Unit::Kept;
        unit[int(' ')] = Unit::Kept;
        unit[int('/')] = Unit::Kept;
        // "(" to "." is one range in the separator class, so "*" and "," stay in candidates.
        for (int c = '('; c <= '.'; ++c)
            unit[c] = Unit::Kept;
        unit[int('(')] = Unit::Open;
        unit[int(')')] = Unit::Close;
        unit[int('+')] = Unit::Plus;
    }
};

constexpr AsciiUnits asciiUnits;

inline Unit unitOf(char16_t u)
{
    if (u < 128)
        return asciiUnits.unit[u];
    return QChar::isSpace(char32_t(u)) ? Unit::Kept : Unit::Separator;
}

// Longest digit string of any shape: "00" and 26 more.
constexpr qsizetype maxDigits = 28;

struct Candidate
{
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype firstOpen = -1;
    qsizetype lastClose = -1;
    qsizetype weight = 0; // digits, with "+" counting for its two zeros
};

// Digits of the normalised candidate, up to maxDigits + 1 of them; returns how many were kept.
qsizetype candidateDigits(const char16_t *units, const Candidate &c, char16_t *digits)
{
    // Greedy brackets: from the first "(" to the last ")" after it, or nothing.
    const bool cut = c.firstOpen >= 0 && c.lastClose > c.firstOpen;
    qsizetype count = 0;
    for (qsizetype i = c.begin; i < c.end && count <= maxDigits; ++i) {
        if (cut && i == c.firstOpen)
            i = c.lastClose;
        else if (unitOf(units[i]) == Unit::Digit)
            digits[count++] = units[i];
        else if (units[i] == u'+') {
            digits[count++] = u'0';
            digits[count++] = u'0';
        }
    }
    return count;
}

enum class Shape { None, National, International, Short };

Shape shapeOf(const char16_t *digits, qsizetype count)
{
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
    const QStringView view(text);
    const char16_t *units = view.utf16();
    const qsizetype size = view.size();
    // One spare slot: a "+" may add two zeros past the limit.
    char16_t digits[maxDigits + 2];

    qsizetype i = 0;
    while (i < size) {
        while (i < size && unitOf(units[i]) == Unit::Separator)
            ++i;
        Candidate c;
        c.begin = i;
        for (; i < size; ++i) {
            const Unit unit = unitOf(units[i]);
            if (unit == Unit::Separator)
                break;
            if (unit == Unit::Digit)
                ++c.weight;
            else if (unit == Unit::Plus)
                c.weight += 2;
            else if (unit == Unit::Open && c.firstOpen < 0)
                c.firstOpen = i;
            else if (unit == Unit::Close)
                c.lastClose = i;
        }
        c.end = i;
        // White space alone, or fewer digits than the shortest shape, fits nothing.
        if (c.weight < 4)
            continue;

        const qsizetype count = candidateDigits(units, c, digits);
        const Shape shape = shapeOf(digits, count);
        if (shape == Shape::None)
            continue;

        const QString number(reinterpret_cast<const QChar *>(digits), count);
        // `text` first, then the dial form: when both are one string, the dial form is left.
        if (shape == Shape::National) {
            QString dial = QStringLiteral("0033");
            dial.append(QStringView(digits + 1, count - 1));
            text = number;
            dialNumber = dial;
        } else {
            text = number;
            dialNumber = number;
        }
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

    QString normal;
    normal.reserve(view.size());
    for (qsizetype i = 0; i < view.size(); ++i) {
        if (cut && i == firstOpen) {
            i = lastClose;
            continue;
        }
        const char16_t u = view.utf16()[i];
        if (u == u'+')
            normal.append(QLatin1String("00"));
        else if (QChar::isDigit(char32_t(u)))
            normal.append(QChar(u));
    }
    number = std::move(normal);
    return number;
}
