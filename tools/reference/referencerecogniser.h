#pragma once

#include <QString>

// The number rules applied literally, pattern by pattern, with regular expressions: the yardstick
// WS::extractNumber and WS::normalizeNumber are compared with. Same contract as theirs, but
// quadratic on some inputs, so it belongs to tests and tools only, never to the program.
class ReferenceRecogniser
{
public:
    static QString &extractNumber(QString &text, QString &dialNumber);
    static QString &normalizeNumber(QString &number);
};
