#include "soaphttptransport.h"

#include "service/httpreplyreader.h"

#include <QHostAddress>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

namespace {

using Failure = SoapHttpTransport::Failure;

// Read from the socket at a time, and the most it buffers unread.
constexpr qint64 readChunk = 16 * 1024;

QByteArray hostHeader(const QString &host, int port)
{
    const QHostAddress address(host);
    const QByteArray name = address.protocol() == QAbstractSocket::IPv6Protocol
                                ? '[' + host.toLatin1() + ']'
                            : address.isNull() ? QUrl::toAce(host)
                                               : host.toLatin1();
    return name + ':' + QByteArray::number(port);
}

bool requestLineSafe(const QByteArray &path)
{
    if (!path.startsWith('/'))
        return false;
    for (const char c : path) {
        if (uchar(c) <= 0x20 || uchar(c) >= 0x7f)
            return false;
    }
    return true;
}

} // namespace

// One request: its connection, its deadline and the reading of its reply.
class SoapHttpTransport::Exchange : public QObject
{
public:
    Exchange(SoapHttpTransport *owner, const QByteArray &request);
    ~Exchange() override;

private:
    void readSocket();
    void take(HttpReplyReader::State state);
    void socketError(QAbstractSocket::SocketError error);
    void fail(Failure failure, const QString &detail);
    void finish(const Reply &reply);

    SoapHttpTransport *owner;
    QSslSocket socket;
    QByteArray request;
    HttpReplyReader reader;
    bool written = false; // the request began to leave
    bool certificateRefused = false;
    bool done = false;
};

SoapHttpTransport::Exchange::Exchange(SoapHttpTransport *owner, const QByteArray &request)
    : QObject(owner), owner(owner), request(request)
{
    // Keeps the TLS layer from decrypting far ahead of what the reader accepts.
    socket.setReadBufferSize(readChunk);
    socket.setSslConfiguration(owner->ssl);
    socket.setPeerVerifyMode(QSslSocket::VerifyPeer);
    connect(&socket, &QSslSocket::encrypted, this, [this] {
        written = true;
        socket.write(this->request);
        this->request.clear();
    });
    connect(&socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
        certificateRefused = true;
        emit this->owner->sslErrors(errors);
    });
    connect(&socket, &QSslSocket::readyRead, this, &Exchange::readSocket);
    connect(&socket, &QSslSocket::errorOccurred, this, &Exchange::socketError);
    connect(&socket, &QSslSocket::disconnected, this,
            [this] { socketError(QAbstractSocket::RemoteHostClosedError); });
    // From the submission, not from the last byte received: a server that drips a byte at a
    // time must not keep the call waiting.
    QTimer::singleShot(owner->deadlineSeconds * 1000, this, [this] {
        const QString detail = QStringLiteral("no whole reply in %1 s");
        fail(written ? Failure::Deadline : Failure::ConnectDeadline,
             detail.arg(this->owner->deadlineSeconds));
    });
    // From the event loop: some platforms report a refused connection within the call, and the
    // caller must never hear of the end before submitRequest() has returned.
    QMetaObject::invokeMethod(
        this,
        [this] { socket.connectToHostEncrypted(this->owner->host, quint16(this->owner->port)); },
        Qt::QueuedConnection);
}

SoapHttpTransport::Exchange::~Exchange()
{
    socket.disconnect(this);
    socket.abort();
}

void SoapHttpTransport::Exchange::readSocket()
{
    while (!done) {
        const QByteArray data = socket.read(readChunk);
        if (data.isEmpty())
            return;
        take(reader.feed(data));
    }
}

void SoapHttpTransport::Exchange::take(HttpReplyReader::State state)
{
    switch (state) {
    case HttpReplyReader::State::NeedMore:
        return;
    case HttpReplyReader::State::Unreadable:
        return fail(Failure::Unreadable, reader.detail());
    case HttpReplyReader::State::Truncated:
        return fail(Failure::ConnectionLost, socket.errorString());
    case HttpReplyReader::State::Complete:
        break;
    }
    Reply reply;
    const bool wellFormed = reply.message.setContent(reader.body());
    const int status = reader.status();
    if (wellFormed && reply.message.isFault())
        return finish(reply);
    if (status < 200 || status > 299)
        return fail(Failure::Unreadable, QStringLiteral("unexpected HTTP status %1").arg(status));
    if (!wellFormed)
        return fail(Failure::Unreadable, reply.message.faultString());
    finish(reply);
}

void SoapHttpTransport::Exchange::socketError(QAbstractSocket::SocketError error)
{
    if (done)
        return;
    if (error == QAbstractSocket::RemoteHostClosedError) {
        readSocket(); // what came before the close
        if (done)
            return;
        if (written)
            return take(reader.end());
    }
    const QString detail = socket.errorString();
    if (written)
        return fail(Failure::ConnectionLost, detail);
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return fail(Failure::HostNotFound, detail);
    case QAbstractSocket::ConnectionRefusedError:
        return fail(Failure::ConnectionRefused, detail);
    case QAbstractSocket::SslHandshakeFailedError:
        return fail(certificateRefused ? Failure::Certificate : Failure::SecureChannel, detail);
    default:
        return fail(certificateRefused ? Failure::Certificate : Failure::Unreachable, detail);
    }
}

void SoapHttpTransport::Exchange::fail(Failure failure, const QString &detail)
{
    Reply reply;
    reply.failure = failure;
    reply.detail = detail;
    finish(reply);
}

void SoapHttpTransport::Exchange::finish(const Reply &reply)
{
    if (done)
        return;
    done = true;
    socket.disconnect(this);
    socket.abort();
    // Out of the owner's hands before it hears of the end: its receiver may destroy it, and the
    // socket may be the sender of the signal being handled.
    SoapHttpTransport *const to = owner;
    setParent(nullptr);
    deleteLater();
    emit to->responseReady(reply);
}

SoapHttpTransport::SoapHttpTransport(QObject *parent) : QObject(parent) {}

// The exchanges still in flight are children: deleting them aborts their connections.
SoapHttpTransport::~SoapHttpTransport() = default;

void SoapHttpTransport::setHost(const QString &host, int port, const QSslConfiguration &ssl)
{
    this->host = host;
    this->port = port;
    this->ssl = ssl;
}

bool SoapHttpTransport::submitRequest(const SoapMessage &request, const QString &path)
{
    const QByteArray body = request.toXml();
    const QByteArray target = path.toLatin1();
    if (body.isEmpty() || !requestLineSafe(target) || target.size() != path.size())
        return false;
    // The headers and their order as they have always gone out; only identity content is
    // accepted back.
    const QByteArray head = "POST " + target + " HTTP/1.1\r\nHost: " + hostHeader(host, port) +
                            "\r\nContent-Type: text/xml;charset=utf-8\r\nContent-Length: " +
                            QByteArray::number(body.size()) +
                            "\r\nSOAPAction: \"\"\r\nConnection: close\r\nAccept-Encoding: "
                            "identity\r\nAccept-Language: en,*\r\nUser-Agent: Mozilla/5.0\r\n\r\n";
    new Exchange(this, head + body);
    return true;
}
