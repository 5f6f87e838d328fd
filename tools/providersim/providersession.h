#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <functional>

class ProviderServer;
class QSslSocket;

// One client connection: reads one HTTP/1.1 request, answers it and closes the connection.
class ProviderSession : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of `socket`, whose handshake is done.
    ProviderSession(QSslSocket *socket, ProviderServer *server);

private:
    void readRequest();
    bool parseHead(const QByteArray &head);
    QByteArray header(const QByteArray &name) const;
    void handleRequest();
    void answer();
    void send(int status, const QByteArray &body, const QByteArray &extraHeaders = {});
    void sendHuge(bool sized);
    // Sends `head`, then what `piece` gives until `total` bytes, then `tail`, and closes.
    void stream(const QByteArray &head, const std::function<QByteArray()> &piece, qint64 total,
                const QByteArray &tail = {});
    void streamMore();
    void close();
    void resetConnection();
    void dripMore();

    QSslSocket *socket;
    ProviderServer *server;
    QByteArray buffer;
    bool headDone = false;
    qint64 contentLength = 0;
    QByteArray method;
    QByteArray target;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // Outcome decided when the request is handled, sent after the configured delay.
    int status = 200;
    QByteArray reply;

    bool closing = false; // by the simulator's own choice
    std::function<QByteArray()> nextPiece;
    qint64 streamLeft = 0;
    QByteArray dripping; // what is left to drip
};
