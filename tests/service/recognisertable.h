#pragma once

#include <QString>
#include <QTest>

// The documented examples of the number rules, shared by the recogniser's tests. Each row holds
// the text, then `text` and `dialNumber` after extraction into two distinct strings, with
// `dialNumber` preset to `unchangedDial`.

inline const QString unchangedDial = QStringLiteral("(unchanged)");

inline void addRecogniserColumns()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("dialNumber");
}

inline void addDocumentedRows()
{
    const QString none;
    const QString nbsp(QChar(0x00a0));

    QTest::addRow("national with spaces") << "06 12 34 56 78"
                                          << "0612345678"
                                          << "0033612345678";
    QTest::addRow("national with dots") << "06.12.34.56.78"
                                        << "0612345678"
                                        << "0033612345678";
    QTest::addRow("national with hyphens") << "06-12-34-56-78"
                                           << "0612345678"
                                           << "0033612345678";
    QTest::addRow("national bare") << "0612345678"
                                   << "0612345678"
                                   << "0033612345678";
    QTest::addRow("national with no-break spaces")
        << QStringList{"06", "12", "34", "56", "78"}.join(nbsp) << "0612345678"
        << "0033612345678";
    QTest::addRow("commas do not separate") << "01,23,45,67,89"
                                            << "0123456789"
                                            << "0033123456789";
    QTest::addRow("national 0 800") << "0 800 123 456"
                                    << "0800123456"
                                    << "0033800123456";
    QTest::addRow("plus becomes 00") << "+33 6 12 34 56 78"
                                     << "0033612345678"
                                     << "0033612345678";
    QTest::addRow("bracketed trunk zero") << "+33 (0)6 12 34 56 78"
                                          << "0033612345678"
                                          << "0033612345678";
    QTest::addRow("international 0033") << "0033 6 12 34 56 78"
                                        << "0033612345678"
                                        << "0033612345678";
    QTest::addRow("international +44") << "+44 20 7946 0000"
                                       << "00442079460000"
                                       << "00442079460000";
    QTest::addRow("shortest international") << "+3312345678"
                                            << "003312345678"
                                            << "003312345678";
    QTest::addRow("international too short") << "+331234567" << none << unchangedDial;
    const QString longest = "00" + QString(26, u'7');
    QTest::addRow("longest international") << longest << longest << longest;
    QTest::addRow("international too long") << "00" + QString(27, u'7') << none << unchangedDial;
    QTest::addRow("letters and colon separate")
        << QString::fromUtf8("Tél. : 01 23 45 67 89") << "0123456789"
        << "0033123456789";
    QTest::addRow("first number wins") << "Appelez le 01 23 45 67 89 ou le 06 11 22 33 44"
                                       << "0123456789"
                                       << "0033123456789";
    QTest::addRow("letters split off an unclosed bracket") << "+33 6 12 34 56 78 (mobile)"
                                                           << "0033612345678"
                                                           << "0033612345678";
    QTest::addRow("slash joins two numbers")
        << "01 23 45 67 89 / 06 11 22 33 44" << none << unchangedDial;
    QTest::addRow("line break joins two numbers")
        << "06 12 34 56 78\n07 11 22 33 44" << none << unchangedDial;
    QTest::addRow("bracketed prefix removed") << "(+33) 6 12 34 56 78" << none << unchangedDial;
    QTest::addRow("bracketed area code removed") << "+1 (555) 123-4567" << none << unchangedDial;
    QTest::addRow("greedy brackets") << "(01) 23 45 (67) 89" << none << unchangedDial;
    QTest::addRow("short number") << "3615"
                                  << "3615"
                                  << "3615";
    QTest::addRow("short with space") << "12 34"
                                      << "1234"
                                      << "1234";
    QTest::addRow("short with slash") << "12/34"
                                      << "1234"
                                      << "1234";
    QTest::addRow("short with star") << "*3615"
                                     << "3615"
                                     << "3615";
    QTest::addRow("any four digits") << "2013"
                                     << "2013"
                                     << "2013";
    QTest::addRow("three digits") << "123" << none << unchangedDial;
    QTest::addRow("nine digits") << "01 23 45 67 8" << none << unchangedDial;
    QTest::addRow("ten digits beginning 00") << "0012345678" << none << unchangedDial;
    QTest::addRow("date") << "01/02/2013" << none << unchangedDial;
    QTest::addRow("empty") << QString() << none << unchangedDial;
    QTest::addRow("no digits") << "bonjour" << none << unchangedDial;
}

// One string passed as both arguments; the row holds the text and what the string ends as.
inline void addSameStringRows()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("result");

    QTest::addRow("national") << "06 12 34 56 78"
                              << "0033612345678";
    QTest::addRow("international") << "+33 6 12 34 56 78"
                                   << "0033612345678";
    QTest::addRow("short") << "3615"
                           << "3615";
    QTest::addRow("no number") << "bonjour" << QString();
}
