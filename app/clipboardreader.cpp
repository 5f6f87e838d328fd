#include "clipboardreader.h"

#include <QClipboard>
#include <QGuiApplication>

QString ClipboardReader::readThroughQt()
{
    QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    if (text.size() > textCap)
        text.clear();
    return text;
}
