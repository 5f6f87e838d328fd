#include "rolelock.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

RoleLock::Handle RoleLock::open(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                  0600);
}

bool RoleLock::lock(Handle handle, bool wait)
{
    int status = 0;
    do
        status = ::flock(int(handle), LOCK_EX | (wait ? 0 : LOCK_NB));
    while (status != 0 && errno == EINTR);
    return status == 0;
}

void RoleLock::close(Handle handle)
{
    ::close(int(handle));
}
