#pragma once

#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

class QLocalSocket;

// One running copy per edition and user. The first copy listens on a local socket in a folder
// that only its user may reach; a later start hands its request over to it and ends.
//
// On the socket a request is the bytes "OPEN " and the text of the number (UTF-8, maybe empty),
// at most 1 KiB in all, ended by the sender closing the connection. Anything else is dropped.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Start {
        HandedOver, // a running copy took the request: this copy must end
        Guarded,    // no copy runs: this one listens now
        Unguarded,  // no private socket can be had: this copy runs without a guard
        Unreachable // a copy runs but does not answer in time: this copy must end too
    };

    // The folder of the guard and of the dialog claim, shared by both editions: its user's own
    // (a directory, not a link, owned by the user, closed to everyone else), in the session's
    // runtime folder when that one is private, else under the cache or configuration home.
    // Empty when none can be had: never a folder that someone else may write into.
    static QString privateFolder();

    // The guard named `name` (the edition's program name) in `folder`; an empty folder makes an
    // unguarded start.
    SingleInstance(const QString &folder, const QString &name, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Asks the running copy for the call dialog on `text`, or with nothing only looks for it.
    // When no copy runs, this one takes the socket, also from a copy that crashed and left it
    // behind. A live socket is never removed, nor one that is not the user's.
    Start handOver(const std::optional<QString> &text);

    // From now on emits requested() for each request; of those received since handOver() only
    // the latest is kept, so that none reaches a program still starting.
    void acceptRequests();

signals:
    // Another start asked for the call dialog on `text` (empty: the empty dialog). Emitted from
    // the event loop, never from within the socket's own handlers.
    void requested(const QString &text);

private:
    enum class Reply { Delivered, NoOne, Stale, Busy, Foreign };

    Reply send(const QByteArray &message) const;
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
};
