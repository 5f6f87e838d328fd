#include "soaphttptransport.h"

#include <QHostAddress>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

namespace {

using Failure = SoapHttpTransport::Failure;

// Read from the socket at a time, and the most it buffers unread.
constexpr qint64 readChunk = 16 * 1024;
// A chunk-size line (with its extensions) is a few bytes; a longer one is no HTTP.
constexpr qsizetype maxChunkLine = 1024;

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
    enum class Stage { Head, Sized, UntilClose, ChunkSize, ChunkData, ChunkEnd, Trailers };

    void readSocket();
    void parse();
    bool takeLine(QByteArray *line, qsizetype bound);
    bool headLine(const QByteArray &line);
    void startBody();
    void complete();
    void socketError(QAbstractSocket::SocketError error);
    void fail(Failure failure, const QString &detail);
    void finish(const Reply &reply);

    SoapHttpTransport *owner;
    QSslSocket socket;
    QByteArray request;
    bool written = false; // the request began to leave
    bool certificateRefused = false;
    bool done = false;

    Stage stage = Stage::Head;
    QByteArray in; // received; parsed up to `at`
    qsizetype at = 0;
    qint64 headLeft = maxHeadSize;
    int headLinesLeft = maxHeadLines;
    int status = 0; // 0 until the status line
    QByteArray contentLength, transferEncoding, contentEncoding, location;
    qint64 chunkLeft = 0;
    qint64 length = 0;
    QByteArray body;
};

SoapHttpTransport::Exchange::Exchange(SoapHttpTransport *owner, const QByteArray &request)
    : QObject(owner), owner(owner), request(request)
{
    // Keeps the TLS layer from decrypting far ahead of what parse() accepts.
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
        fail(Failure::Deadline,
             QStringLiteral("no whole reply in %1 s").arg(this->owner->deadlineSeconds));
    });
    socket.connectToHostEncrypted(owner->host, quint16(owner->port));
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
        in = in.mid(at) + data;
        at = 0;
        parse();
    }
}

void SoapHttpTransport::Exchange::parse()
{
    QByteArray line;
    while (!done) {
        switch (stage) {
        case Stage::Head:
        case Stage::Trailers:
            if (!takeLine(&line, headLeft))
                return;
            if (!headLine(line))
                return;
            break;
        case Stage::Sized: {
            const qsizetype n = qMin(in.size() - at, qsizetype(length - body.size()));
            body += in.mid(at, n);
            at += n;
            if (body.size() == length)
                complete();
            return;
        }
        case Stage::UntilClose:
            body += in.mid(at);
            at = in.size();
            if (body.size() > maxReplySize)
                fail(Failure::Unreadable, QStringLiteral("reply over %1 bytes").arg(maxReplySize));
            return;
        case Stage::ChunkSize: {
            if (!takeLine(&line, maxChunkLine))
                return;
            bool ok = false;
            const QByteArray size = line.split(';').first().trimmed(); // no extension used
            chunkLeft = size.toLongLong(&ok, 16);
            if (!ok || size.isEmpty() || chunkLeft < 0)
                return fail(Failure::Unreadable, QStringLiteral("bad chunk size"));
            if (chunkLeft > maxReplySize - body.size())
                return fail(Failure::Unreadable,
                            QStringLiteral("reply over %1 bytes").arg(maxReplySize));
            stage = chunkLeft ? Stage::ChunkData : Stage::Trailers;
            break;
        }
        case Stage::ChunkData: {
            const qsizetype n = qMin(in.size() - at, qsizetype(chunkLeft));
            body += in.mid(at, n);
            at += n;
            chunkLeft -= n;
            if (chunkLeft)
                return;
            stage = Stage::ChunkEnd;
            break;
        }
        case Stage::ChunkEnd:
            if (!takeLine(&line, 2))
                return;
            if (!line.isEmpty())
                return fail(Failure::Unreadable, QStringLiteral("chunk not ended by CRLF"));
            stage = Stage::ChunkSize;
            break;
        }
    }
}

// Takes one line, LF or CRLF ended, of at most `bound` bytes with its end. False when none is
// whole yet, or after failing the request when the line is longer than `bound`.
bool SoapHttpTransport::Exchange::takeLine(QByteArray *line, qsizetype bound)
{
    const qsizetype end = in.indexOf('\n', at);
    if (end < 0 ? in.size() - at >= bound : end + 1 - at > bound) {
        fail(Failure::Unreadable,
             stage == Stage::ChunkSize || stage == Stage::ChunkEnd
                 ? QStringLiteral("chunk line too long")
                 : QStringLiteral("reply head over %1 bytes").arg(maxHeadSize));
        return false;
    }
    if (end < 0)
        return false;
    *line = in.mid(at, end - at);
    if (line->endsWith('\r'))
        line->chop(1);
    if (stage == Stage::Head || stage == Stage::Trailers)
        headLeft -= end + 1 - at;
    at = end + 1;
    return true;
}

// The status line, a header line, or the empty line that ends the head or the trailers. False
// once the request has ended.
bool SoapHttpTransport::Exchange::headLine(const QByteArray &line)
{
    if (--headLinesLeft < 0) {
        fail(Failure::Unreadable, QStringLiteral("reply head over %1 lines").arg(maxHeadLines));
        return false;
    }
    if (stage == Stage::Trailers) {
        if (line.isEmpty())
            complete();
        return !done;
    }
    if (status == 0) {
        const QList<QByteArray> parts = line.split(' ');
        bool ok = false;
        status = parts.size() >= 2 && parts[0].startsWith("HTTP/1.") && parts[1].size() == 3
                     ? parts[1].toInt(&ok)
                     : 0;
        if (!ok || status < 100) {
            fail(Failure::Unreadable, QStringLiteral("no HTTP status line"));
            return false;
        }
        return true;
    }
    if (!line.isEmpty()) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            fail(Failure::Unreadable, QStringLiteral("malformed header line"));
            return false;
        }
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            if (!contentLength.isNull() && contentLength != value) {
                fail(Failure::Unreadable, QStringLiteral("conflicting Content-Length"));
                return false;
            }
            contentLength = value;
        } else if (name == "transfer-encoding") {
            transferEncoding += (transferEncoding.isEmpty() ? "" : ",") + value.toLower();
        } else if (name == "content-encoding") {
            contentEncoding = value.toLower();
        } else if (name == "location") {
            location = value;
        }
        return true;
    }
    // An interim reply (100 Continue and the like) precedes the real one, within the same bounds.
    if (status < 200 && status != 101) {
        status = 0;
        contentLength = transferEncoding = contentEncoding = location = QByteArray();
        return true;
    }
    startBody();
    return !done;
}

void SoapHttpTransport::Exchange::startBody()
{
    // A redirect would resend the password to wherever the server points; its body, whatever it
    // says, is not the service's answer.
    if (status < 200 || (status >= 300 && status < 400))
        return fail(Failure::Unreadable,
                    QStringLiteral("unexpected HTTP status %1%2")
                        .arg(status)
                        .arg(location.isEmpty() ? QString()
                                                : QStringLiteral(" to ") +
                                                      QString::fromLatin1(location.left(200))));
    if (!contentEncoding.isEmpty() && contentEncoding != "identity")
        return fail(Failure::Unreadable, QStringLiteral("content encoding %1")
                                             .arg(QString::fromLatin1(contentEncoding.left(50))));
    if (status == 204 || status == 304)
        return complete();
    if (!transferEncoding.isEmpty()) {
        if (transferEncoding != "chunked")
            return fail(Failure::Unreadable,
                        QStringLiteral("transfer encoding %1")
                            .arg(QString::fromLatin1(transferEncoding.left(50))));
        stage = Stage::ChunkSize;
        return;
    }
    if (contentLength.isNull()) {
        stage = Stage::UntilClose;
        return;
    }
    bool ok = false;
    length = contentLength.toLongLong(&ok);
    if (!ok || length < 0)
        return fail(Failure::Unreadable, QStringLiteral("bad Content-Length"));
    if (length > maxReplySize)
        return fail(Failure::Unreadable, QStringLiteral("reply over %1 bytes").arg(maxReplySize));
    stage = Stage::Sized;
    if (length == 0)
        complete();
}

void SoapHttpTransport::Exchange::complete()
{
    Reply reply;
    const bool wellFormed = reply.message.setContent(body);
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
        if (stage == Stage::UntilClose)
            return complete();
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
    in.clear();
    body.clear();
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
