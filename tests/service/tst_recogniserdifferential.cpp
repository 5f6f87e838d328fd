#include "recognisertable.h"
#include "referencerecogniser.h"
#include "ws.h"

#include <QTest>
#include <array>
#include <random>

// The recogniser against the literal rules: first on the documented examples, where both must
// give the documented results, then on generated texts, where they must agree. The texts are
// built from the characters that matter to the rules and biased towards numbers of every shape
// and just off every shape, so that all branches are met often.
//
// TINTELLE_DIFF_SEED and TINTELLE_DIFF_COUNT change the seed and the number of texts.

namespace {

QString describe(const QString &s)
{
    QString out;
    for (QChar c : s) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f)
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
    }
    return '"' + out + '"';
}

class TextGenerator
{
public:
    explicit TextGenerator(quint64 seed) : random(seed)
    {
        for (char32_t c = 0; c < 0x10000; ++c) {
            if (QChar::isSpace(c))
                spaces.append(QChar(char16_t(c)));
        }
    }

    QString next()
    {
        QString text;
        const int tokens = 1 + below(5);
        for (int i = 0; i < tokens; ++i) {
            // Mostly a word between tokens, lest every number run into the next one.
            if (i > 0 && chance(60))
                text += chance(50) ? QStringLiteral(" le ") : QStringLiteral(" : ");
            text += chance(55) ? number() : noise(below(7));
        }
        // A character or two anywhere, to break what the tokens built.
        for (int edits = chance(30) ? 1 + below(2) : 0; edits > 0 && !text.isEmpty(); --edits) {
            const qsizetype at = below(int(text.size()));
            if (chance(50))
                text.remove(at, 1);
            else
                text.insert(at, character());
        }
        return text;
    }

private:
    int below(int n) { return int(random() % quint64(n)); }
    bool chance(int percent) { return below(100) < percent; }

    QString digits(int count)
    {
        QString out;
        for (int i = 0; i < count; ++i)
            out += QChar(u'0' + below(10));
        return out;
    }

    // Digit strings of every shape and of the lengths around them.
    QString numberDigits()
    {
        static constexpr std::array<int, 5> nearby{-1, 0, 0, 0, 1};
        switch (below(6)) {
        case 0:
        case 1: // national
            return "0" + QString(QChar(u'0' + (chance(85) ? 1 + below(9) : 0))) +
                   digits(8 + nearby[below(5)]);
        case 2: // international, "00" or "+" written
            return (chance(50) ? QStringLiteral("00") : QStringLiteral("+")) +
                   digits(9 + below(19) + (chance(20) ? (chance(50) ? -1 : 18) : 0));
        case 3: // short number
            return digits(4 + nearby[below(5)]);
        case 4: // where a bracketed trunk zero fits
            return "+33(0)" + digits(9 + nearby[below(5)]);
        default:
            return digits(1 + below(30));
        }
    }

    // The digits, cut into groups joined by white space or punctuation, sometimes bracketed.
    QString number()
    {
        const QString bare = numberDigits();
        const int style = below(6);
        QString out;
        for (qsizetype i = 0; i < bare.size(); ++i) {
            out += bare.at(i);
            if (i + 1 < bare.size() && i % 2 == 1 && style != 0) {
                switch (style) {
                case 1:
                    out += u' ';
                    break;
                case 2:
                    out += QStringLiteral(".-,/*").at(below(5));
                    break;
                case 3:
                    out += spaces.at(below(int(spaces.size())));
                    break;
                case 4:
                    out += chance(90) ? QChar(u' ') : character();
                    break;
                default:
                    out += separatorRun();
                    break;
                }
            }
        }
        if (chance(15)) {
            const qsizetype open = below(int(out.size()) + 1);
            out.insert(open, u'(');
            if (chance(70))
                out.insert(open + 1 + below(int(out.size() - open)), u')');
        }
        if (chance(10))
            out.insert(below(int(out.size()) + 1), u')');
        if (chance(10))
            out.prepend(QStringLiteral("*+(").at(below(3)));
        return out;
    }

    QString separatorRun()
    {
        QString out;
        for (int n = 1 + below(3); n > 0; --n)
            out += chance(50) ? spaces.at(below(int(spaces.size()))) : character();
        return out;
    }

    QString noise(int length)
    {
        QString out;
        for (int i = 0; i < length; ++i)
            out += character();
        return out;
    }

    // One character, or one pair of surrogates, from the alphabet that matters.
    QString character()
    {
        static const QString kept = QStringLiteral("0123456789/()*+,-. ");
        static const QString letters = QString::fromUtf8("aelnoTUVZéèàçùÉôïœ");
        static const QString symbols = QString::fromUtf8(":#;_'\"%€°!&@?=");
        static constexpr std::array<char16_t, 16> odd{
            0x0000, 0x0008, 0x000e, 0x001f, 0x0021, 0x0027, 0x003a, 0x007f,
            0x180e, 0x200b, 0xfeff, 0xfffd, 0xffff, 0x0660, 0x0966, 0xff10};
        static constexpr std::array<char16_t, 4> otherZeros{0x0660, 0x06f0, 0x0966, 0xff10};
        static constexpr std::array<char16_t, 4> surrogates{0xd800, 0xdbff, 0xdc00, 0xdfff};
        static constexpr std::array<char32_t, 5> astral{0x1f4de, 0x1f600, 0x1d7ce, 0x104a0,
                                                        0x20000};
        const int pick = below(100);
        if (pick < 40)
            return QString(kept.at(below(int(kept.size()))));
        if (pick < 55)
            return QString(spaces.at(below(int(spaces.size()))));
        if (pick < 68)
            return QString(letters.at(below(int(letters.size()))));
        if (pick < 76)
            return QString(symbols.at(below(int(symbols.size()))));
        if (pick < 80)
            return chance(50) ? QStringLiteral("\r\n") : QStringLiteral("\n");
        if (pick < 88)
            return QString(QChar(odd[below(int(odd.size()))]));
        if (pick < 91) // non-ASCII decimal digits
            return QString(QChar(char16_t(otherZeros[below(int(otherZeros.size()))] + below(10))));
        if (pick < 95) {
            const char32_t c = astral[below(int(astral.size()))];
            return QString::fromUcs4(&c, 1);
        }
        if (pick < 98)
            return QString(QChar(surrogates[below(int(surrogates.size()))]));
        return QString(QChar(char16_t(below(0x10000))));
    }

    std::mt19937_64 random;
    QString spaces;
};

struct Outcome
{
    QString text;
    QString dialNumber;
};

template <typename Extract> Outcome extract(Extract extractNumber, const QString &input)
{
    Outcome o{input, unchangedDial};
    extractNumber(o.text, o.dialNumber);
    return o;
}

template <typename Extract> QString extractInPlace(Extract extractNumber, const QString &input)
{
    QString number = input;
    extractNumber(number, number);
    return number;
}

#if defined(__SANITIZE_ADDRESS__)
// Every allocation of the reference's regular expressions costs ten times more under
// AddressSanitizer; the full count runs in the plain build.
constexpr quint64 defaultCount = 20000;
#else
constexpr quint64 defaultCount = 200000;
#endif

quint64 environmentNumber(const char *name, quint64 fallback)
{
    bool ok = false;
    const quint64 value = qEnvironmentVariable(name).toULongLong(&ok, 0);
    return ok ? value : fallback;
}

} // namespace

class TestRecogniserDifferential : public QObject
{
    Q_OBJECT

private slots:
    void documented_data();
    void documented();
    void sameString_data();
    void sameString();
    void generated();
};

void TestRecogniserDifferential::documented_data()
{
    addRecogniserColumns();
    addDocumentedRows();
}

void TestRecogniserDifferential::documented()
{
    QFETCH(QString, input);
    QFETCH(QString, text);
    QFETCH(QString, dialNumber);

    const Outcome reference = extract(&ReferenceRecogniser::extractNumber, input);
    QCOMPARE(reference.text, text);
    QCOMPARE(reference.dialNumber, dialNumber);
    const Outcome actual = extract(&WS::extractNumber, input);
    QCOMPARE(actual.text, text);
    QCOMPARE(actual.dialNumber, dialNumber);
}

void TestRecogniserDifferential::sameString_data()
{
    addSameStringRows();
}

void TestRecogniserDifferential::sameString()
{
    QFETCH(QString, input);
    QFETCH(QString, result);

    QCOMPARE(extractInPlace(&ReferenceRecogniser::extractNumber, input), result);
    QCOMPARE(extractInPlace(&WS::extractNumber, input), result);
}

void TestRecogniserDifferential::generated()
{
    const quint64 seed = environmentNumber("TINTELLE_DIFF_SEED", 20130314);
    const quint64 count = environmentNumber("TINTELLE_DIFF_COUNT", defaultCount);
    qInfo("seed %llu, %llu texts", seed, count);

    TextGenerator generator(seed);
    // national, international, short, none
    std::array<quint64, 4> outcomes{};
    for (quint64 i = 0; i < count; ++i) {
        const QString input = generator.next();
        const auto where = [&] {
            return QStringLiteral("text %1 of seed %2: %3").arg(i).arg(seed).arg(describe(input));
        };

        const Outcome reference = extract(&ReferenceRecogniser::extractNumber, input);
        const Outcome actual = extract(&WS::extractNumber, input);
        if (actual.text != reference.text || actual.dialNumber != reference.dialNumber) {
            QFAIL(qPrintable(QStringLiteral("%1\n  got %2 %3\n  expected %4 %5")
                                 .arg(where(), describe(actual.text), describe(actual.dialNumber),
                                      describe(reference.text), describe(reference.dialNumber))));
        }

        // One string as both arguments ends as the dial form, or empty.
        const QString inPlace = extractInPlace(&WS::extractNumber, input);
        if (inPlace != (reference.text.isEmpty() ? QString() : reference.dialNumber)) {
            QFAIL(qPrintable(
                QStringLiteral("%1 as both arguments\n  got %2").arg(where(), describe(inPlace))));
        }

        if (reference.text.isEmpty())
            ++outcomes[3];
        else if (reference.text.size() == 4)
            ++outcomes[2];
        else if (reference.dialNumber != reference.text)
            ++outcomes[0];
        else
            ++outcomes[1];

        // The literal normalisation is the dearest part of the reference; a quarter will do.
        if (i % 4 != 0)
            continue;
        QString referenceNormal = input;
        ReferenceRecogniser::normalizeNumber(referenceNormal);
        QString actualNormal = input;
        WS::normalizeNumber(actualNormal);
        if (actualNormal != referenceNormal) {
            QFAIL(qPrintable(QStringLiteral("%1 normalised\n  got %2\n  expected %3")
                                 .arg(where(), describe(actualNormal), describe(referenceNormal))));
        }
    }

    qInfo("national %llu, international %llu, short %llu, none %llu", outcomes[0], outcomes[1],
          outcomes[2], outcomes[3]);
    // A generator that drifted away from numbers would prove little.
    for (quint64 n : outcomes)
        QVERIFY2(n >= count / 20, "each outcome should be at least 5% of the texts");
}

QTEST_GUILESS_MAIN(TestRecogniserDifferential)
#include "tst_recogniserdifferential.moc"
