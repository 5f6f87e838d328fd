// WS::extractNumber against the number rules applied literally; fuzz_recogniser goes on from here.

#include "service/ws.h"
#include "tools/reference/referencerecogniser.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString unchanged = QStringLiteral("(unchanged)");

// `text` and the dial number from two strings, then what one string passed as both becomes.
using Extract = QString &(*)(QString &, QString &);
QStringList extract(Extract extractNumber, const QString &input)
{
    QStringList out{input, unchanged, input};
    out[0] = &extractNumber(out[0], out[1]) == &out[0] ? out[0] : QStringLiteral("not text");
    extractNumber(out[2], out[2]);
    return out;
}

} // namespace

class TestRecogniser : public QObject
{
    Q_OBJECT

private slots:
    void extract_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QStringList>("expected"); // what extract() above returns
        // No `text`: no number, and the dial number left unchanged; no `dial`: the text.
        const auto row = [](const char *name, QStringView input, const QString &text = {},
                            const QString &dial = {}) {
            const QString dialled = text.isEmpty() ? unchanged : dial.isEmpty() ? text : dial;
            QTest::addRow("%s", name)
                << input.toString() << QStringList{text, dialled, text.isEmpty() ? text : dialled};
        };
        row("bracketed trunk zero", u"+33 (0)6 12 34 56 78", "0033612345678");
        row("shortest international", u"+3312345678", "003312345678");
        row("international too short", u"+331234567");
        row("longest international", u"0012345678901234567890123456",
            "0012345678901234567890123456");
        row("international too long", u"00123456789012345678901234567");
        row("slash joins two numbers", u"01 23 45 67 89 / 06 11 22 33 44");
        row("greedy brackets", u"(01) 23 45 (67) 89");
        row("ten digits beginning 00", u"0012345678");
        row("every kept punctuation", u"06*12,34-56.78/", "0612345678", "0033612345678");
        row("every joining space", u"0\t6\v1\f2\r\n3\u20034\u30005\u00856\u20287 8", "0612345678",
            "0033612345678");
        row("mongolian vowel separator", u"0612\u180e345678", "0612");
        row("zero width space", u"12\u200b34");
        row("arabic-indic digits", u"\u0660\u0666\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668");
        row("fullwidth digit", u"36\uff1115");
        row("pair outside the BMP", u"12\U0001f4de34");
        row("lone high surrogate", u"12"_s + QChar(0xd800) + u"34"_s);
        row("lone surrogate before", QChar(0xd800) + u"3615"_s, "3615");
        row("NUL", u"36"_s + QChar(0) + u"15"_s + QChar(0));
        row("byte-order mark", u"\ufeff3615", "3615");
        row("blank candidate skipped", u" \t :3615", "3615");
        row("unfit candidates skipped", u"123 puis 06 12 34 56 78 puis 3615", "0612345678",
            "0033612345678");
        row("ten digits not beginning 0", u"1612345678");
        row("plus signs alone", u"++", "0000");
        row("unclosed bracket", u"(06 12 34 56 78", "0612345678", "0033612345678");
        row("closing before opening", u"06) 12 34 56 78 (", "0612345678", "0033612345678");
        row("last closing bracket", u"36 (12) 99) 15", "3615");
        row("plus inside brackets", u"(+)3615", "3615");
        row("brackets per candidate", u"(06 12:34) 3615", "0612");
        // Hostile texts, each hours long for the literal greedy bracket pattern.
        const qsizetype mega = 1 << 20;
        const QString n = QStringLiteral("0612345678"), dial = QStringLiteral("0033612345678");
        const QStringList texts{QString(mega, u'(') + " " + n,
                                "(" + QString(mega, u'1') + ":" + n,
                                "(" + QString(mega, u'9') + ") " + n,
                                QStringLiteral("()").repeated(mega / 2) + " " + n,
                                QStringLiteral("0 ").repeated(mega / 2) + "x" + n,
                                QString(mega, u'+') + "x" + n,
                                QStringLiteral("1a").repeated(mega) + n};
        for (const QString &text : texts)
            QTest::addRow("hostile %s", qPrintable(text.left(2)))
                << text << QStringList{n, dial, dial};
    }

    void extract()
    {
        QFETCH(QString, input);
        QTEST(::extract(&WS::extractNumber, input), "expected");
        if (input.size() < 4096) // the literal rules take hours on the hostile texts
            QTEST(::extract(&ReferenceRecogniser::extractNumber, input), "expected");
    }
};

QTEST_GUILESS_MAIN(TestRecogniser)
#include "tst_recogniser.moc"
