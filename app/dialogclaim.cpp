#include "dialogclaim.h"

#include "app/singleinstance.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

QString claimPath()
{
    const QString folder = SingleInstance::privateFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/dialog.lock");
}

} // namespace

DialogClaim::DialogClaim() : DialogClaim(claimPath()) {}

DialogClaim::DialogClaim(const QString &path)
{
#ifdef Q_OS_UNIX
    if (path.isEmpty())
        return;
    fd = ::open(QFile::encodeName(path).constData(),
                O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    // Only another holder refuses: a file that cannot be opened or locked decides nothing.
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        held = false;
#else
    Q_UNUSED(path)
#endif
}

DialogClaim::~DialogClaim()
{
#ifdef Q_OS_UNIX
    if (fd >= 0)
        ::close(fd);
#endif
}

bool DialogClaim::isHeld() const
{
    return held;
}
