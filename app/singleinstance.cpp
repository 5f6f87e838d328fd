#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QSysInfo>
#include <QThread>
#include <algorithm>
#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace {

const QByteArray verb = QByteArrayLiteral("OPEN ");
constexpr qint64 maxRequestBytes = 1024;
// A running copy accepts at once, even while a dialog runs its own event loop.
constexpr int connectTimeoutMs = 1000;
// A client that connects and says nothing is not waited for.
constexpr int requestTimeoutMs = 1000;
// More would only be idle clients: the oldest are dropped, since a start speaks at once.
constexpr qsizetype maxConnections = 32;
// A start that holds the lock longer is stuck; the next one goes on without it.
constexpr int lockWaitMs = 2000;
constexpr int retryMs = 20;
// Qt closes a server whose accept() fails (descriptors exhausted); it is reopened this soon.
constexpr int watchMs = 1000;

void log(const QString &text)
{
    qDebug().noquote() << "Single-instance guard:" << text;
}

#ifdef Q_OS_UNIX
QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// A directory, not a link, owned by this user and closed to everyone else.
bool isPrivate(const QString &path)
{
    struct stat st = {};
    return ::lstat(encoded(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// `name` under `base`, made 0700 when missing, and kept only if it is private.
QString ownFolder(const QString &base, const QString &name)
{
    if (base.isEmpty() || !QDir::isAbsolutePath(base) || !QDir().mkpath(base))
        return {};
    const QString path = QDir::cleanPath(base + u'/' + name);
    ::mkdir(encoded(path).constData(), 0700);
    // One of ours that no one else can write into, made under another umask: close it.
    struct stat st = {};
    if (::lstat(encoded(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && (st.st_mode & 022) == 0)
        ::chmod(encoded(path).constData(), 0700);
    return isPrivate(path) ? path : QString();
}

// A home shared between machines must not show one machine's socket to another.
QString hostFolderName()
{
    QString host = QSysInfo::machineHostName();
    for (QChar &c : host)
        if (!c.isLetterOrNumber() && c != u'-' && c != u'.')
            c = u'_';
    return QStringLiteral("tintelle-") + (host.isEmpty() ? QStringLiteral("host") : host);
}

QString homeBase(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(value))
        return value;
    const QString home = QDir::homePath();
    return QDir::isAbsolutePath(home) && home != QDir::rootPath() ? home + fallback : QString();
}
#endif

// Held while a start looks for a running copy and, finding none, takes the socket, so that two
// copies started at the same moment do not both find no one. The kernel releases it when its
// holder ends, however it ends, so it never outlives a crash.
class StartLock
{
public:
    explicit StartLock(const QString &path)
    {
#ifdef Q_OS_UNIX
        fd = ::open(encoded(path).constData(),
                    O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        struct stat st = {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            return;
        const QDeadlineTimer deadline(lockWaitMs);
        while (!held) {
            held = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
            if (!held && ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()))
                return;
            if (!held)
                QThread::msleep(retryMs);
        }
#else
        // Elsewhere a pipe name is taken by one server only, which is lock enough.
        Q_UNUSED(path)
        held = true;
#endif
    }
    ~StartLock()
    {
#ifdef Q_OS_UNIX
        if (fd >= 0)
            ::close(fd);
#endif
    }
    Q_DISABLE_COPY_MOVE(StartLock)

    bool isHeld() const
    {
        return held;
    }

private:
    int fd = -1;
    bool held = false;
};

// Closes a connection without reading its message.
void drop(QLocalSocket *socket)
{
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}

} // namespace

QString SingleInstance::privateFolder()
{
#ifdef Q_OS_UNIX
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivate(runtime)) {
        const QString folder = ownFolder(runtime, QStringLiteral("tintelle"));
        if (!folder.isEmpty())
            return folder;
    }
    for (const QString &base : {homeBase("XDG_CACHE_HOME", QStringLiteral("/.cache")),
                                homeBase("XDG_CONFIG_HOME", QStringLiteral("/.config"))}) {
        const QString folder = ownFolder(base, hostFolderName());
        if (!folder.isEmpty())
            return folder;
    }
    return {};
#else
    // The user's own temporary folder; a pipe name is not a file anyway.
    return QDir::tempPath();
#endif
}

SingleInstance::SingleInstance(const QString &folder, const QString &name, QObject *parent)
    : QObject(parent)
{
    if (!folder.isEmpty()) {
        socketPath = folder + u'/' + name + QStringLiteral(".socket");
        lockPath = folder + u'/' + name + QStringLiteral(".lock");
    }
    server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::takeConnections);
    watch.setInterval(watchMs);
    connect(&watch, &QTimer::timeout, this, &SingleInstance::keepListening);
}

SingleInstance::~SingleInstance()
{
    // Connections still open end with the guard, unread.
    for (QLocalSocket *socket : std::as_const(connections))
        socket->disconnect(this);
}

SingleInstance::Start SingleInstance::handOver(const std::optional<QString> &text)
{
    if (socketPath.isEmpty()) {
        log(QStringLiteral("no private folder, running unguarded"));
        return Start::Unguarded;
    }
    QByteArray message;
    if (text) {
        message = verb + text->toUtf8();
        // Too long to hold one number: ask for the empty dialog rather than cut a number in two.
        if (message.size() > maxRequestBytes)
            message = verb;
    }
    const StartLock lock(lockPath);
    if (!lock.isHeld())
        log(QStringLiteral("%1 cannot be locked").arg(lockPath));
    switch (send(message)) {
    case Reply::Delivered:
        return Start::HandedOver;
    case Reply::Busy:
        log(QStringLiteral("the copy on %1 does not answer").arg(socketPath));
        return Start::Unreachable;
    case Reply::Foreign:
        log(QStringLiteral("%1 is not this user's socket, running unguarded").arg(socketPath));
        return Start::Unguarded;
    case Reply::Stale:
        // Refused: what is left there is a crashed copy's socket.
        if (lock.isHeld())
            QLocalServer::removeServer(socketPath);
        break;
    case Reply::NoOne:
        break;
    }
    if (!lock.isHeld() || !listen()) {
        log(QStringLiteral("cannot listen on %1, running unguarded").arg(socketPath));
        return Start::Unguarded;
    }
    return Start::Guarded;
}

void SingleInstance::acceptRequests()
{
    accepting = true;
    if (const std::optional<QString> text = std::exchange(pending, std::nullopt))
        deliver(*text);
}

#ifdef Q_OS_UNIX
SingleInstance::Reply SingleInstance::send(const QByteArray &message) const
{
    const QByteArray path = encoded(socketPath);
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
    ucred peer = {};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::geteuid())
        return reply(Reply::Foreign);
    // A request fits in the socket's buffer: it is written at once or not at all.
    if (::send(fd, message.constData(), size_t(message.size()), MSG_NOSIGNAL) != message.size())
        return reply(Reply::Busy);
    return reply(Reply::Delivered);
}
#else
SingleInstance::Reply SingleInstance::send(const QByteArray &message) const
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(connectTimeoutMs))
        return socket.error() == QLocalSocket::SocketTimeoutError ? Reply::Busy : Reply::NoOne;
    socket.write(message);
    const bool written = socket.waitForBytesWritten(connectTimeoutMs);
    socket.disconnectFromServer();
    return written ? Reply::Delivered : Reply::Busy;
}
#endif

bool SingleInstance::listen()
{
    if (!server.listen(socketPath))
        return false;
    watch.start();
    return true;
}

void SingleInstance::keepListening()
{
    if (server.isListening())
        return;
    // Qt closed the server and removed its socket: listen again, unless another copy took the
    // name meanwhile. Without descriptors for now, try again at the next round.
    const StartLock lock(lockPath);
    if (!lock.isHeld())
        return;
    const Reply reply = send(QByteArray());
    if (reply == Reply::Delivered || reply == Reply::Foreign) {
        watch.stop();
        log(QStringLiteral("%1 was taken meanwhile").arg(socketPath));
    } else if ((reply == Reply::NoOne || reply == Reply::Stale) && listen()) {
        log(QStringLiteral("listening again on %1").arg(socketPath));
    }
}

void SingleInstance::takeConnections()
{
    while (QLocalSocket *socket = server.nextPendingConnection()) {
        // Only one byte past the limit is ever read: a longer message never seems to end, and the
        // timeout drops it.
        socket->setReadBufferSize(maxRequestBytes + 1);
        connections.append(socket);
        QTimer::singleShot(requestTimeoutMs, socket, [this, socket] {
            forget(socket);
            drop(socket);
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            forget(socket);
            const QByteArray message = socket->readAll();
            socket->deleteLater();
            receive(message);
        });
        while (connections.size() > maxConnections)
            drop(connections.takeFirst());
    }
}

void SingleInstance::forget(QLocalSocket *socket)
{
    connections.removeOne(socket);
}

void SingleInstance::receive(const QByteArray &message)
{
    if (!message.startsWith(verb) || message.size() > maxRequestBytes)
        return;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(message.mid(verb.size()));
    if (!utf8.hasError())
        deliver(text);
}

void SingleInstance::deliver(const QString &text)
{
    if (!accepting) {
        pending = text;
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, text] { emit requested(text); }, Qt::QueuedConnection);
}
