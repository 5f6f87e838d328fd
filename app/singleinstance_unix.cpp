#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A running copy accepts at once, even while a dialog runs its own event loop.
constexpr int connectTimeoutMs = 1000;
constexpr int retryMs = 20;

} // namespace

QString SingleInstance::serverName(const QString &folder, const QString &name)
{
    return folder + u'/' + name + QStringLiteral(".socket");
}

SingleInstance::Reply SingleInstance::send(const QByteArray &message) const
{
    const QByteArray path = QFile::encodeName(socketPath);
    struct stat st = {};
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT ? Reply::NoOne : Reply::Foreign;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (!S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid() ||
        path.size() >= qsizetype(sizeof address.sun_path))
        return Reply::Foreign;
    std::copy(path.cbegin(), path.cend(), address.sun_path);

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return Reply::Busy;
    const auto reply = [fd](Reply r) {
        ::close(fd);
        return r;
    };
    // A full backlog answers EAGAIN: the copy is alive, so its socket stays; ask again until the
    // deadline. Only a refusal means that no one listens there any more.
    const QDeadlineTimer deadline(connectTimeoutMs);
    while (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        if (errno == ECONNREFUSED)
            return reply(Reply::Stale);
        if (errno == ENOENT)
            return reply(Reply::NoOne);
        if ((errno != EAGAIN && errno != EINTR) || deadline.hasExpired())
            return reply(Reply::Busy);
        QThread::msleep(retryMs);
    }
    // The file may be ours and its listener another account's.
    ucred peer = {};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::geteuid())
        return reply(Reply::Foreign);
    // A request fits in the socket's buffer: it is written at once or not at all.
    if (::send(fd, message.constData(), size_t(message.size()), MSG_NOSIGNAL) != message.size())
        return reply(Reply::Busy);
    return reply(Reply::Delivered);
}
