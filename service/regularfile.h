#pragma once

#include <QByteArray>
#include <QString>

// Reads a file that a setting names and that must be a regular file of bounded size: a device
// is never opened, a FIFO never blocks the caller, and the file is checked again once open so
// that it cannot be swapped between the check and the read. One source per platform.
class RegularFile
{
public:
    enum class Status { Read, Unreadable, NotRegular, TooLarge };

    // The content of `path` when it is a regular file of at most `maxSize` bytes; the status
    // says why not otherwise (Unreadable also when it does not exist).
    static Status read(const QString &path, qint64 maxSize, QByteArray *content);
};
