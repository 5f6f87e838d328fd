#pragma once

#include <QDeadlineTimer>
#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <optional>

class QLocalSocket;

// One running copy per edition and user. The first copy listens on a local socket in the user's
// private place (PrivatePlace), a named pipe restricted to the user on Windows; a later start
// hands its request over to it and ends. A start that cannot be sure to be the only one ends too.
//
// On the socket a request is the bytes "OPEN " and the text of the number (UTF-8, maybe empty),
// at most 1 KiB in all, or the bytes "QUIT", ended by the sender closing the connection. Anything
// else is dropped.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Start {
        HandedOver,  // a running copy took the request: this copy must end
        Guarded,     // no copy runs: this one listens now
        Unavailable, // no guard of the user's own can be had: this copy must end
        Unreachable  // a copy, or another start, does not answer in time: this copy must end
    };

    // The guard named `name` (the edition's program name) in `folder`, the user's private place;
    // an empty folder gives no guard.
    SingleInstance(const QString &folder, const QString &name, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Asks the running copy for the call dialog on `text`, or with nothing only looks for it.
    // When no copy runs, this one takes the socket, also from a copy that crashed and left it
    // behind. A live socket is never removed, nor one that is not the user's.
    Start handOver(const std::optional<QString> &text);
    // Why handOver() said that this copy must end, in French, for the user; empty otherwise.
    QString refusal() const;
    // Hands `text` to the running copy as a later start would, never listening in its place.
    // False when no copy of this user took it.
    bool forward(const QString &text) const;

    // What stop() found; the values are the exit statuses of --quit.
    enum class Stop { Ended = 0, NoneRunning = 1, StillRunning = 3 };
    // Asks the running copy to quit and waits, stopWait at most, for it to stop listening.
    static constexpr std::chrono::milliseconds stopWait{8000};
    Stop stop() const;

    // From now on emits requested() for each request; of those received since handOver() only
    // the latest is kept, so that none reaches a program still starting.
    void acceptRequests();

signals:
    // Another start asked for the call dialog on `text` (empty: the empty dialog). Emitted from
    // the event loop, never from within the socket's own handlers.
    void requested(const QString &text);
    // Another start asked this copy to quit (--quit): an installer waits to replace its files,
    // until `until`; after that no one waits for it, and the request lapses.
    void quitRequested(QDeadlineTimer until);

private:
    enum class Reply { Delivered, NoOne, Stale, Busy, Foreign };

    // The server's name for `folder` and `name`, a socket path or a pipe name.
    static QString serverName(const QString &folder, const QString &name);
    static QByteArray request(const QString &text);
    // Platform seam: speaks to the server at socketPath, checking that it is the user's.
    Reply send(const QByteArray &message) const;
    Start refuse(Start start, const QString &where);
    bool listen();
    void keepListening();
    void takeConnections();
    void forget(QLocalSocket *socket);
    void receive(const QByteArray &message);
    void deliver(const QString &text);

    QString socketPath;
    QString lockPath;
    QLocalServer server;
    QTimer watch;
    QList<QLocalSocket *> connections;
    bool accepting = false;
    std::optional<QString> pending;
    std::optional<QDeadlineTimer> pendingQuit;
    QString refused;
};
