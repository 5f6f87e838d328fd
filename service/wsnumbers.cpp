#include "ws.h"

QString &WS::extractNumber(QString &text, QString &)
{
    text.clear();
    return text;
}

QString &WS::normalizeNumber(QString &number)
{
    return number;
}
