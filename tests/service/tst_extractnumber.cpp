#include "recognisertable.h"
#include "ws.h"

#include <QTest>

namespace {

QString units(std::initializer_list<char16_t> list)
{
    return QString(reinterpret_cast<const QChar *>(list.begin()), qsizetype(list.size()));
}

} // namespace

class TestExtractNumber : public QObject
{
    Q_OBJECT

private slots:
    void documented_data();
    void documented();
    void separators_data();
    void separators();
    void brackets_data();
    void brackets();
    void largeInput_data();
    void largeInput();
    void sameString_data();
    void sameString();
    void returnsText();
    void normalize_data();
    void normalize();

private:
    void checkExtraction();
};

void TestExtractNumber::checkExtraction()
{
    QFETCH(QString, input);
    QFETCH(QString, text);
    QFETCH(QString, dialNumber);

    QString actualText = input;
    QString actualDial = unchangedDial;
    WS::extractNumber(actualText, actualDial);
    QCOMPARE(actualText, text);
    QCOMPARE(actualDial, dialNumber);
}

void TestExtractNumber::documented_data()
{
    addRecogniserColumns();
    addDocumentedRows();
}

void TestExtractNumber::documented()
{
    checkExtraction();
}

void TestExtractNumber::separators_data()
{
    addRecogniserColumns();
    const QString none;

    // The kept set ends at "(" .. "." and "/"; its neighbours "'" and ":" separate.
    QTest::addRow("apostrophe separates") << "12'34" << none << unchangedDial;
    QTest::addRow("colon separates") << "12:34" << none << unchangedDial;
    QTest::addRow("hash separates") << "#36#15" << none << unchangedDial;
    QTest::addRow("every kept punctuation") << "06*12,34-56.78/"
                                            << "0612345678"
                                            << "0033612345678";
    QTest::addRow("em space and ideographic space")
        << units({u'0', u'6', 0x2003, u'1', u'2', 0x3000, u'3', u'4', u'5', u'6', u'7', u'8'})
        << "0612345678"
        << "0033612345678";
    QTest::addRow("next line and line separator")
        << units({u'3', 0x0085, u'6', 0x2028, u'1', u'5'}) << "3615"
        << "3615";
    QTest::addRow("tab, vertical tab, form feed, CR LF") << "06\t12\v34\f56\r\n78"
                                                         << "0612345678"
                                                         << "0033612345678";
    // Not white space for QChar, though some regular expression engines call it so.
    QTest::addRow("mongolian vowel separator splits")
        << units({u'0', u'6', u'1', u'2', 0x180e, u'3', u'4', u'5', u'6', u'7', u'8'}) << "0612"
        << "0612";
    QTest::addRow("zero width space splits")
        << units({u'1', u'2', 0x200b, u'3', u'4'}) << none << unchangedDial;
    QTest::addRow("arabic-indic digits separate")
        << units({0x0660, 0x0666, 0x0661, 0x0662, 0x0663, 0x0664, 0x0665, 0x0666, 0x0667, 0x0668})
        << none << unchangedDial;
    QTest::addRow("fullwidth digit splits")
        << units({u'3', u'6', 0xff11, u'1', u'5'}) << none << unchangedDial;
    QTest::addRow("pair outside the BMP splits")
        << units({u'1', u'2', 0xd83d, 0xdcde, u'3', u'4'}) << none << unchangedDial;
    QTest::addRow("lone low surrogate splits")
        << units({u'1', u'2', 0xdc00, u'3', u'4'}) << none << unchangedDial;
    QTest::addRow("lone high surrogate splits")
        << units({u'1', u'2', 0xd800, u'3', u'4'}) << none << unchangedDial;
    QTest::addRow("lone high surrogate before a number")
        << units({0xd800, u'3', u'6', u'1', u'5'}) << "3615"
        << "3615";
    QTest::addRow("NUL splits") << units({u'3', u'6', 0, u'1', u'5', 0}) << none << unchangedDial;
    QTest::addRow("byte-order mark") << units({0xfeff, u'3', u'6', u'1', u'5'}) << "3615"
                                     << "3615";
    QTest::addRow("white space only candidate skipped") << " \t :3615"
                                                        << "3615"
                                                        << "3615";
    QTest::addRow("first fitting candidate wins") << "3615 puis 06 12 34 56 78"
                                                  << "3615"
                                                  << "3615";
    QTest::addRow("unfit candidates skipped") << "123 puis 06 12 34 56 78 puis 3615"
                                              << "0612345678"
                                              << "0033612345678";
    QTest::addRow("ten digits not beginning 0") << "1612345678" << none << unchangedDial;
    QTest::addRow("plus signs alone") << "++"
                                      << "0000"
                                      << "0000";
    QTest::addRow("two plus signs") << "++3312345678"
                                    << "00003312345678"
                                    << "00003312345678";
    QTest::addRow("plus makes the longest international")
        << "+" + QString(26, u'5') << "00" + QString(26, u'5') << "00" + QString(26, u'5');
    QTest::addRow("plus makes one digit too many")
        << "+" + QString(27, u'5') << none << unchangedDial;
}

void TestExtractNumber::separators()
{
    checkExtraction();
}

void TestExtractNumber::brackets_data()
{
    addRecogniserColumns();
    const QString none;

    QTest::addRow("unclosed bracket removes nothing") << "(06 12 34 56 78"
                                                      << "0612345678"
                                                      << "0033612345678";
    QTest::addRow("closing before opening removes nothing") << "06) 12 34 56 78 ("
                                                            << "0612345678"
                                                            << "0033612345678";
    QTest::addRow("last closing bracket counts") << "36 (12) 99) 15"
                                                 << "3615"
                                                 << "3615";
    QTest::addRow("three groups") << "(1) 36 (2) 15 (3)" << none << unchangedDial;
    QTest::addRow("digits around the groups") << "36 (1) 99 (2) 15"
                                              << "3615"
                                              << "3615";
    QTest::addRow("plus inside brackets") << "(+)3615"
                                          << "3615"
                                          << "3615";
    QTest::addRow("brackets per candidate") << "(06 12:34) 3615"
                                            << "0612"
                                            << "0612";
    QTest::addRow("empty brackets") << "36()15"
                                    << "3615"
                                    << "3615";
}

void TestExtractNumber::brackets()
{
    checkExtraction();
}

void TestExtractNumber::largeInput_data()
{
    addRecogniserColumns();
    const qsizetype mega = 1 << 20;
    const QString national = QStringLiteral(" 06 12 34 56 78");

    // Each would take hours with the greedy bracket pattern applied literally.
    QTest::addRow("opening brackets, then digits") << QString(mega, u'(') + "3615"
                                                   << "3615"
                                                   << "3615";
    QTest::addRow("bracket and a million digits") << "(" + QString(mega, u'1') + ":3615"
                                                  << "3615"
                                                  << "3615";
    QTest::addRow("bracketed million digits")
        << "(" + QString(mega, u'9') + ")" + national << "0612345678"
        << "0033612345678";
    QTest::addRow("bracket pairs") << QStringLiteral("()").repeated(mega / 2) + "3615"
                                   << "3615"
                                   << "3615";
    QTest::addRow("zero and space")
        << QStringLiteral("0 ").repeated(mega / 2) + "x" + national << "0612345678"
        << "0033612345678";
    QTest::addRow("plus signs") << QString(mega, u'+') << QString() << unchangedDial;
    QTest::addRow("white space") << QString(mega, u' ') << QString() << unchangedDial;
    QTest::addRow("many small candidates")
        << QStringLiteral("1a").repeated(mega / 2) + national << "0612345678"
        << "0033612345678";
}

void TestExtractNumber::largeInput()
{
    checkExtraction();
}

void TestExtractNumber::sameString_data()
{
    addSameStringRows();
}

void TestExtractNumber::sameString()
{
    QFETCH(QString, input);
    QFETCH(QString, result);

    QString number = input;
    WS::extractNumber(number, number);
    QCOMPARE(number, result);
}

void TestExtractNumber::returnsText()
{
    QString text = QStringLiteral("06 12 34 56 78");
    QString dialNumber;
    QCOMPARE(&WS::extractNumber(text, dialNumber), &text);
    text = QStringLiteral("bonjour");
    QCOMPARE(&WS::extractNumber(text, dialNumber), &text);
    QString number = QStringLiteral("+33");
    QCOMPARE(&WS::normalizeNumber(number), &number);
}

void TestExtractNumber::normalize_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("normal");

    QTest::addRow("trunk zero in brackets") << "+33 (0)6 12 34 56 78"
                                            << "0033612345678";
    QTest::addRow("greedy brackets") << "(01) 23 45 (67) 89"
                                     << "89";
    QTest::addRow("unclosed bracket") << "(+33"
                                      << "0033";
    QTest::addRow("closing before opening") << "1)2(3"
                                            << "123";
    QTest::addRow("line break inside brackets") << "1(2\n3)4"
                                                << "14";
    QTest::addRow("plus signs") << "+a+"
                                << "0000";
    // Any decimal digit stays; the recogniser never hands it one, as they separate candidates.
    QTest::addRow("arabic-indic digit stays") << units({0x0663, u'6'}) << units({0x0663, u'6'});
    QTest::addRow("digit outside the BMP goes") << units({u'1', 0xd835, 0xdfce, u'2'}) << "12";
    QTest::addRow("lone surrogate goes") << units({0xdbff, u'7'}) << "7";
    QTest::addRow("empty") << QString() << QString();
    QTest::addRow("a million opening brackets") << QString(1 << 20, u'(') + "7)8"
                                                << "8";
}

void TestExtractNumber::normalize()
{
    QFETCH(QString, number);
    QFETCH(QString, normal);

    QCOMPARE(WS::normalizeNumber(number), normal);
    QCOMPARE(number, normal);
}

QTEST_GUILESS_MAIN(TestExtractNumber)
#include "tst_extractnumber.moc"
