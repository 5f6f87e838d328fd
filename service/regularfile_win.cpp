#include "regularfile.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

RegularFile::Status RegularFile::read(const QString &path, qint64 maxSize, QByteArray *content)
{
    // Device names (NUL, COM1, \\.\...) and folders are not files: they are never opened.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return Status::NotRegular;
    QFile reader(path);
    if (!info.isFile() || !reader.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << path << "cannot be read:" << reader.errorString();
        return Status::Unreadable;
    }
    if (reader.size() > maxSize)
        return Status::TooLarge;
    *content = reader.read(maxSize);
    return Status::Read;
}
