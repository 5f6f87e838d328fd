// WS::extractNumber, alone and against the number rules applied literally (ReferenceRecogniser);
// fuzz_recogniser goes on where the table ends.

#include "service/ws.h"
#include "tools/reference/referencerecogniser.h"

#include <QTest>
#include <array>

namespace {

// Name | input | text | dial number ("" left unchanged, "=" the text); \uXXXX is a UTF-16 unit.
const char table[] = R"(national with spaces|06 12 34 56 78|0612345678|0033612345678
commas do not separate|01,23,45,67,89|0123456789|0033123456789
plus becomes 00|+33 6 12 34 56 78|0033612345678|=
bracketed trunk zero|+33 (0)6 12 34 56 78|0033612345678|=
international 0033|0033 6 12 34 56 78|0033612345678|=
shortest international|+3312345678|003312345678|=
international too short|+331234567||
longest international|0012345678901234567890123456|0012345678901234567890123456|=
international too long|00123456789012345678901234567||
letters and colon separate|Tél. : 01 23 45 67 89|0123456789|0033123456789
first number wins|Appelez le 01 23 45 67 89 ou le 06 11 22 33 44|0123456789|0033123456789
letters split off a bracket|+33 6 12 34 56 78 (mobile)|0033612345678|=
slash joins two numbers|01 23 45 67 89 / 06 11 22 33 44||
line break joins two numbers|06 12 34 56 78\u000a07 11 22 33 44||
bracketed prefix removed|(+33) 6 12 34 56 78||
greedy brackets|(01) 23 45 (67) 89||
short number|3615|3615|=
three digits|123||
nine digits|01 23 45 67 8||
ten digits beginning 00|0012345678||
date|01/02/2013||
empty|||
no digits|bonjour||
apostrophe separates|12'34||
hash separates|#36#15||
every kept punctuation|06*12,34-56.78/|0612345678|0033612345678
em and ideographic spaces|06\u200312\u3000345678|0612345678|0033612345678
next line, line separator|3\u00856\u202815|3615|=
tab, VT, FF, CR LF|06\u000912\u000b34\u000c56\u000d\u000a78|0612345678|0033612345678
mongolian vowel separator|0612\u180e345678|0612|=
zero width space|12\u200b34||
arabic-indic digits|\u0660\u0666\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668||
fullwidth digit|36\uff1115||
pair outside the BMP|12\ud83d\udcde34||
lone high surrogate|12\ud80034||
lone surrogate before|\ud8003615|3615|=
NUL|36\u000015\u0000||
byte-order mark|\ufeff3615|3615|=
blank candidate skipped| \u0009 :3615|3615|=
unfit candidates skipped|123 puis 06 12 34 56 78 puis 3615|0612345678|0033612345678
ten digits not beginning 0|1612345678||
plus signs alone|++|0000|=
plus makes the longest|+55555555555555555555555555|0055555555555555555555555555|=
plus makes one too many|+555555555555555555555555555||
unclosed bracket|(06 12 34 56 78|0612345678|0033612345678
closing before opening|06) 12 34 56 78 (|0612345678|0033612345678
last closing bracket|36 (12) 99) 15|3615|=
three groups|(1) 36 (2) 15 (3)||
digits around groups|36 (1) 99 (2) 15|3615|=
plus inside brackets|(+)3615|3615|=
brackets per candidate|(06 12:34) 3615|0612|=
empty brackets|36()15|3615|=)";

const QString unchanged = QStringLiteral("(unchanged)");

QString decoded(const QString &cell)
{
    QString out;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const bool escape = cell.mid(i, 2) == QLatin1String("\\u");
        out += escape ? QChar(cell.mid(i + 2, 4).toUShort(nullptr, 16)) : cell.at(i);
        i += escape ? 5 : 0;
    }
    return out;
}

// `text` and the dial number from two strings, then what one string passed as both becomes.
using Extract = QString &(*)(QString &, QString &);
std::array<QString, 3> extract(Extract extractNumber, const QString &input)
{
    std::array<QString, 3> out{input, unchanged, input};
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
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("dial");
        QTest::addColumn<bool>("literal"); // the literal rules answer too
        for (const QString &line : QString::fromUtf8(table).split(u'\n')) {
            const QStringList cells = line.split(u'|');
            const QString text = decoded(cells[2]);
            const QString dial = cells[3] == "=" ? text : cells[3].isEmpty() ? unchanged : cells[3];
            QTest::newRow(qPrintable(cells[0])) << decoded(cells[1]) << text << dial << true;
        }
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
            QTest::addRow("hostile %s", qPrintable(text.left(2))) << text << n << dial << false;
    }

    void extract()
    {
        QFETCH(QString, input);
        QFETCH(QString, text);
        QFETCH(QString, dial);
        QFETCH(bool, literal);

        const std::array<QString, 3> expected{text, dial, text.isEmpty() ? QString() : dial};
        QCOMPARE(::extract(&WS::extractNumber, input), expected);
        if (literal)
            QCOMPARE(::extract(&ReferenceRecogniser::extractNumber, input), expected);
    }

    void shownForm_data()
    {
        QTest::addColumn<QString>("dial");
        QTest::addColumn<QString>("shown");
        QTest::newRow("French, dialled internationally") << "0033612345678"
                                                         << "0612345678";
        QTest::newRow("trunk zero after 0033") << "0033012345678"
                                               << "0033012345678";
        QTest::newRow("a digit short") << "003361234567"
                                       << "003361234567";
        QTest::newRow("another country") << "0044612345678"
                                         << "0044612345678";
    }

    void shownForm()
    {
        QFETCH(QString, dial);
        QTEST(PhoneNumber::shownForm(dial), "shown");
    }
};

QTEST_GUILESS_MAIN(TestRecogniser)
#include "tst_recogniser.moc"
