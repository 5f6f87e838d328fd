#include "singleinstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>
#include <utility>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

const QByteArray verb = QByteArrayLiteral("OPEN ");
constexpr qint64 maxRequestBytes = 1024;
// A running copy accepts at once, even while a dialog runs its own event loop.
constexpr int connectTimeoutMs = 1000;
// A client that connects and says nothing is not waited for.
constexpr int requestTimeoutMs = 2000;

QString userName()
{
#ifdef Q_OS_UNIX
    return QString::number(::getuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

// Held while a start looks for a running copy and, finding none, takes the socket, so that two
// copies started at the same moment do not both find no one. The kernel releases it when its
// holder ends, however it ends, so it never outlives a crash. (QLockFile would also do, but
// flushes its file to disk on every start.)
class StartLock
{
public:
    explicit StartLock(const QString &path)
    {
#ifdef Q_OS_UNIX
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::flock(fd, LOCK_EX);
#else
        // Elsewhere a pipe name is taken by one server only, which is lock enough.
        Q_UNUSED(path)
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

private:
    int fd = -1;
};

// Closes a connection without reading its message.
void drop(QLocalSocket *socket)
{
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}

} // namespace

QString SingleInstance::serverNameForEdition()
{
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    // Last resort, shared with other users; the socket itself is still its user's alone.
    if (directory.isEmpty())
        directory = QDir::tempPath();
    return directory + u'/' + QCoreApplication::applicationName().toLower() + u'-' + userName() +
           QStringLiteral(".socket");
}

SingleInstance::SingleInstance(const QString &serverName, QObject *parent)
    : QObject(parent), serverName(serverName)
{
    server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::takeConnections);
}

SingleInstance::~SingleInstance()
{
    // Connections still open end with the guard, unread.
    for (QLocalSocket *socket : server.findChildren<QLocalSocket *>())
        socket->disconnect(this);
}

bool SingleInstance::handOver(const QString &text)
{
    const StartLock lock(serverName + QStringLiteral(".lock"));
    if (send(text))
        return true;
    // No one answers: what is left there is a crashed copy's socket.
    QLocalServer::removeServer(serverName);
    server.listen(serverName);
    return false;
}

void SingleInstance::acceptRequests()
{
    accepting = true;
    for (const QString &text : std::exchange(pending, {}))
        deliver(text);
}

bool SingleInstance::send(const QString &text) const
{
    QByteArray message = verb + text.toUtf8();
    // Too long to hold one number: ask for the empty dialog rather than cut a number in two.
    if (message.size() > maxRequestBytes)
        message = verb;
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;
    socket.write(message);
    const bool written = socket.waitForBytesWritten(connectTimeoutMs);
    socket.disconnectFromServer();
    return written;
}

void SingleInstance::takeConnections()
{
    while (QLocalSocket *socket = server.nextPendingConnection()) {
        // Only one byte past the limit is ever read: a longer message never seems to end, and the
        // timeout drops it.
        socket->setReadBufferSize(maxRequestBytes + 1);
        QTimer::singleShot(requestTimeoutMs, socket, [socket] { drop(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            const QByteArray message = socket->readAll();
            socket->deleteLater();
            receive(message);
        });
    }
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
        pending.append(text);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, text] { emit requested(text); }, Qt::QueuedConnection);
}
