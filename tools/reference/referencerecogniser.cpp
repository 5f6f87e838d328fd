#include "referencerecogniser.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// The rules were written for an engine that matched UTF-16 code units, read "\s" as
// QChar::isSpace, "\d" as QChar::isDigit and "$" as the very end. PCRE2 differs on each point:
// its "\s" knows no space beyond ASCII, or with Unicode properties counts U+180E, which QChar
// does not; its "$" also matches before a final line break; it sees a surrogate pair as one
// character and never matches an unpaired surrogate, not even with "." or a negated class. So the
// two classes are written out from QChar itself, "$" becomes "\z", and the subject goes through
// codeUnits() first.

QString classOf(bool (*holds)(char32_t))
{
    QString ranges;
    for (char32_t c = 0; c < 0x10000; ++c) {
        if (QChar::isSurrogate(c) || !holds(c))
            continue;
        char32_t last = c;
        while (last + 1 < 0x10000 && !QChar::isSurrogate(last + 1) && holds(last + 1))
            ++last;
        ranges += QStringLiteral("\\x{%1}").arg(uint(c), 0, 16);
        if (last != c)
            ranges += QStringLiteral("-\\x{%1}").arg(uint(last), 0, 16);
        c = last;
    }
    return ranges;
}

QRegularExpression compiled(const QString &pattern, QRegularExpression::PatternOptions options = {})
{
    QRegularExpression re(pattern, options);
    if (!re.isValid())
        qFatal("Bad reference pattern %s: %s", qPrintable(pattern), qPrintable(re.errorString()));
    re.optimize();
    return re;
}

struct Patterns
{
    const QString s = classOf([](char32_t c) { return QChar::isSpace(c); });
    const QString d = classOf([](char32_t c) { return QChar::isDigit(c); });

    // "[^0-9\s\/\.-\(\)]": the range "\.-\(" is "(" to "." once its end points are ordered.
    const QRegularExpression separator = compiled("[^0-9" + s + "\\/\\(-\\.]");
    const QRegularExpression plus = compiled("\\+");
    const QRegularExpression brackets =
        compiled("\\(.*\\)", QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression nonDigits = compiled("[^" + d + "]*");
    const QRegularExpression national =
        compiled("^[" + s + "\\.\\-\\(\\)]*0[1-9]([" + s + ".-]?[0-9]){8}\\z");
    const QRegularExpression international =
        compiled("^[" + s + "\\.\\-\\(\\)]*(\\+|00)[" + d + s + "\\.\\-\\(\\)]{9,25}[0-9]\\z");
    const QRegularExpression shortNumber =
        compiled("^[" + s + "\\.\\-\\(\\)]*([" + s + ".-]?[0-9]){4}\\z");
};

const Patterns &patterns()
{
    static const Patterns built;
    return built;
}

// Each surrogate unit, paired or not, was one character that is neither space nor digit and
// separates candidates; U+FFFD is all of that for PCRE2 too, so the results stay the same.
QString codeUnits(const QString &text)
{
    QString units = text;
    for (QChar &c : units) {
        if (c.isSurrogate())
            c = QChar::ReplacementCharacter;
    }
    return units;
}

} // namespace

QString &ReferenceRecogniser::extractNumber(QString &text, QString &dialNumber)
{
    const Patterns &p = patterns();
    const QStringList candidates = codeUnits(text).split(p.separator, Qt::SkipEmptyParts);
    for (const QString &part : candidates) {
        QString candidate = part.simplified();
        if (candidate.isEmpty())
            continue;
        normalizeNumber(candidate);

        QRegularExpressionMatch m = p.national.match(candidate);
        if (m.hasMatch()) {
            text = m.captured(0);
            dialNumber = "0033" + text.mid(1);
            return text;
        }
        m = p.international.match(candidate);
        if (m.hasMatch()) {
            text = m.captured(0);
            dialNumber = text;
            return text;
        }
        m = p.shortNumber.match(candidate);
        if (m.hasMatch()) {
            text = m.captured(0);
            dialNumber = text;
            return text;
        }
    }
    text.clear();
    return text;
}

QString &ReferenceRecogniser::normalizeNumber(QString &number)
{
    const Patterns &p = patterns();
    number = codeUnits(number);
    number.replace(p.plus, QStringLiteral("00"));
    number.replace(p.brackets, QString());
    number.replace(p.nonDigits, QString());
    return number;
}
