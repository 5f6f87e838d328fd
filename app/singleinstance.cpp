#include "singleinstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QLocalSocket>
#include <QLockFile>
#include <QStringDecoder>
#include <QThread>
#include <utility>

namespace {

const QByteArray verb = QByteArrayLiteral("OPEN ");
const QByteArray quitVerb = QByteArrayLiteral("QUIT");
constexpr qint64 maxRequestBytes = 1024;
// A client that connects and says nothing is not waited for.
constexpr int requestTimeoutMs = 1000;
// More would only be idle clients: the oldest are dropped, since a start speaks at once.
constexpr qsizetype maxConnections = 32;
// A start that holds the lock longer is stuck: the next one ends rather than run beside it.
constexpr int lockWaitMs = 2000;
// Qt closes a server whose accept() fails (descriptors exhausted); it is reopened this soon.
constexpr int watchMs = 1000;
// A copy asked to quit first lets a call on its way end (stopWait); the installer asks the user
// after that.
constexpr unsigned long stopPollMs = 100;

void log(const QString &text)
{
    qDebug().noquote() << "Single-instance guard:" << text;
}

// Held while a start looks for a running copy and, finding none, takes the server's name, so that
// two copies started at the same moment do not both find no one. A lock left by a start that
// crashed is taken over, its process being gone.
class StartLock
{
public:
    explicit StartLock(const QString &path) : file(path)
    {
        file.setStaleLockTime(0);
        held = file.tryLock(lockWaitMs);
    }
    bool isHeld() const { return held; }

private:
    QLockFile file;
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

SingleInstance::SingleInstance(const QString &folder, const QString &name, QObject *parent)
    : QObject(parent)
{
    if (!folder.isEmpty()) {
        socketPath = serverName(folder, name);
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
    if (socketPath.isEmpty())
        return refuse(Start::Unavailable, tr("aucun dossier qui ne soit qu'à vous"));
    const QByteArray message = text ? request(*text) : QByteArray();
    const StartLock lock(lockPath);
    if (!lock.isHeld()) {
        log(QStringLiteral("%1 stays locked").arg(lockPath));
        return refuse(Start::Unreachable, lockPath);
    }
    switch (send(message)) {
    case Reply::Delivered:
        return Start::HandedOver;
    case Reply::Busy:
        log(QStringLiteral("the copy on %1 does not answer").arg(socketPath));
        return refuse(Start::Unreachable, socketPath);
    case Reply::Foreign:
        log(QStringLiteral("%1 is not this user's").arg(socketPath));
        return refuse(Start::Unavailable, socketPath);
    case Reply::Stale:
        // Refused: what is left there is a crashed copy's socket.
        QLocalServer::removeServer(socketPath);
        break;
    case Reply::NoOne:
        break;
    }
    if (!listen()) {
        log(QStringLiteral("cannot listen on %1").arg(socketPath));
        return refuse(Start::Unavailable, socketPath);
    }
    return Start::Guarded;
}

QString SingleInstance::refusal() const
{
    return refused;
}

SingleInstance::Start SingleInstance::refuse(Start start, const QString &where)
{
    const QString program = QCoreApplication::applicationName();
    refused = start == Start::Unreachable
                  ? tr("%1 est déjà lancé mais ne répond pas (%2). Fermez-le, ou fermez la "
                       "session, puis relancez %1.")
                        .arg(program, where)
                  : tr("%1 ne peut pas vérifier qu'il n'est lancé qu'une fois (%2) : il ne démarre "
                       "pas, pour qu'aucun appel ne parte deux fois. Le dossier de ses verrous "
                       "doit être à vous seul et fermé aux autres : faites-le corriger par votre "
                       "administrateur, puis relancez %1.")
                        .arg(program, where);
    return start;
}

bool SingleInstance::forward(const QString &text) const
{
    return !socketPath.isEmpty() && send(request(text)) == Reply::Delivered;
}

SingleInstance::Stop SingleInstance::stop() const
{
    if (socketPath.isEmpty())
        return Stop::StillRunning; // cannot tell
    switch (send(quitVerb)) {
    case Reply::NoOne:
    case Reply::Stale:
        return Stop::NoneRunning;
    case Reply::Delivered:
        break;
    case Reply::Busy:
    case Reply::Foreign:
        return Stop::StillRunning;
    }
    // The copy stops listening as it ends; an empty message is dropped as any garbage.
    for (const QDeadlineTimer deadline(stopWait); !deadline.hasExpired();) {
        QThread::msleep(stopPollMs);
        const Reply reply = send(QByteArray());
        if (reply == Reply::NoOne || reply == Reply::Stale)
            return Stop::Ended;
    }
    return Stop::StillRunning;
}

QByteArray SingleInstance::request(const QString &text)
{
    const QByteArray message = verb + text.toUtf8();
    // Too long to hold one number: ask for the empty dialog rather than cut a number in two.
    return message.size() > maxRequestBytes ? verb : message;
}

void SingleInstance::acceptRequests()
{
    accepting = true;
    if (const std::optional<QString> text = std::exchange(pending, std::nullopt))
        deliver(*text);
    if (const std::optional<QDeadlineTimer> until = std::exchange(pendingQuit, std::nullopt);
        until && !until->hasExpired())
        QMetaObject::invokeMethod(
            this, [this, until] { emit quitRequested(*until); }, Qt::QueuedConnection);
}

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
    if (message == quitVerb) {
        // Lapses a second before the asker stops waiting, so that no copy quits after the
        // installer told the user it runs. Kept for a copy still starting: it quits once up.
        const QDeadlineTimer until(stopWait - std::chrono::seconds(1));
        if (!accepting)
            pendingQuit = until;
        else
            QMetaObject::invokeMethod(
                this, [this, until] { emit quitRequested(until); }, Qt::QueuedConnection);
        return;
    }
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
