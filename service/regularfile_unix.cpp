#include "regularfile.h"

#include <QDebug>
#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::Status RegularFile::read(const QString &path, qint64 maxSize, QByteArray *content)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status;
    if (::stat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode))
        return Status::NotRegular;
    // Non-blocking: a FIFO swapped in after the check must not freeze the caller.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        qWarning().noquote() << path << "cannot be read:" << qt_error_string();
        if (fd >= 0)
            ::close(fd);
        return Status::Unreadable;
    }
    QFile reader;
    reader.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    if (!S_ISREG(status.st_mode))
        return Status::NotRegular;
    if (status.st_size > maxSize)
        return Status::TooLarge;
    *content = reader.read(maxSize);
    return Status::Read;
}
