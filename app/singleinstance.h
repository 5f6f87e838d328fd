#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

// One running copy per edition and user. The first copy listens on a local socket that only its
// user may reach; a later start hands its request over to it and ends.
//
// On the socket a request is the bytes "OPEN " and the text of the number (UTF-8, maybe empty),
// at most 1 KiB in all, ended by the sender closing the connection. Anything else is dropped.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // The socket of the current edition (named after the application name, so select the
    // edition first) and user, in XDG_RUNTIME_DIR or, when unset, Qt's private fallback.
    static QString serverNameForEdition();

    explicit SingleInstance(const QString &serverName, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when the copy that owns the socket took `text`: this copy must end. Otherwise this
    // copy takes the socket, also from a copy that crashed and left it behind, and returns false.
    // A socket that cannot be taken never stops a start: the program then runs unguarded.
    bool handOver(const QString &text);

    // From now on emits requested() for every request, first those received since handOver();
    // until then they are kept, so that none reaches a program still starting.
    void acceptRequests();

signals:
    // Another start asked for the call dialog on `text` (empty: the empty dialog). Emitted from
    // the event loop, never from within the socket's own handlers.
    void requested(const QString &text);

private:
    bool send(const QString &text) const;
    void takeConnections();
    void receive(const QByteArray &message);
    void deliver(const QString &text);

    QString serverName;
    QLocalServer server;
    bool accepting = false;
    QStringList pending;
};
