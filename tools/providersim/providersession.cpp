#include "providersession.h"

#include "providerserver.h"

#include <QHash>
#include <QJsonObject>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <functional>
#include <sys/socket.h>

namespace {

const QString envelopeNs = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const QString encodingNs = QStringLiteral("http://schemas.xmlsoap.org/soap/encoding/");
const QString xsdNs = QStringLiteral("http://www.w3.org/1999/XMLSchema");
const QString xsiNs = QStringLiteral("http://www.w3.org/1999/XMLSchema-instance");
const QString methodName = QStringLiteral("telephonyClick2CallDo");

constexpr qint64 maxRequestHead = 64 * 1024;
constexpr qint64 maxRequestBody = 1024 * 1024;
constexpr qint64 hugeSize = 8 * 1024 * 1024;
constexpr qint64 chunkSize = 64 * 1024;
constexpr qint64 endlessSize = 1024 * 1024 * 1024;
constexpr int maxSessionMs = 120 * 1000;

struct Call
{
    QString error;
    QString ns;
    QString method;
    QHash<QString, QString> arguments;
};

// Read independently of the client's own SOAP code, so that the two cannot share a mistake.
Call parseCall(const QByteArray &body)
{
    Call call;
    QXmlStreamReader xml(body);
    if (!xml.readNextStartElement()) {
        call.error = xml.hasError() ? xml.errorString() : QStringLiteral("document vide");
        return call;
    }
    if (xml.namespaceUri() != envelopeNs || xml.name() != QLatin1String("Envelope")) {
        call.error = QStringLiteral("pas d'enveloppe SOAP");
        return call;
    }
    bool bodySeen = false;
    while (!bodySeen && xml.readNextStartElement()) {
        if (xml.namespaceUri() != envelopeNs || xml.name() != QLatin1String("Body")) {
            xml.skipCurrentElement();
            continue;
        }
        bodySeen = true;
        if (xml.readNextStartElement()) {
            call.ns = xml.namespaceUri().toString();
            call.method = xml.name().toString();
            while (xml.readNextStartElement()) {
                const QString name = xml.name().toString();
                call.arguments.insert(name,
                                      xml.readElementText(QXmlStreamReader::IncludeChildElements));
            }
        }
    }
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError())
        call.error = xml.errorString();
    else if (!bodySeen)
        call.error = QStringLiteral("pas de Body");
    else if (call.method.isEmpty())
        call.error = QStringLiteral("Body vide");
    return call;
}

QByteArray envelope(const std::function<void(QXmlStreamWriter &)> &writeBody)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeNamespace(envelopeNs, QStringLiteral("SOAP-ENV"));
    xml.writeNamespace(encodingNs, QStringLiteral("SOAP-ENC"));
    xml.writeNamespace(xsiNs, QStringLiteral("xsi"));
    xml.writeNamespace(xsdNs, QStringLiteral("xsd"));
    xml.writeStartElement(envelopeNs, QStringLiteral("Envelope"));
    xml.writeAttribute(envelopeNs, QStringLiteral("encodingStyle"), encodingNs);
    xml.writeStartElement(envelopeNs, QStringLiteral("Body"));
    writeBody(xml);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

QByteArray fault(const QString &code, const QString &text)
{
    return envelope([&](QXmlStreamWriter &xml) {
        xml.writeStartElement(envelopeNs, QStringLiteral("Fault"));
        xml.writeTextElement(QStringLiteral("faultcode"), code);
        xml.writeTextElement(QStringLiteral("faultstring"), text);
        xml.writeEndElement();
    });
}

QByteArray success(const QString &ns, const QString &text)
{
    return envelope([&](QXmlStreamWriter &xml) {
        xml.writeNamespace(ns, QStringLiteral("ns1"));
        xml.writeStartElement(ns, methodName + QStringLiteral("Response"));
        xml.writeStartElement(QStringLiteral("return"));
        xml.writeAttribute(xsiNs, QStringLiteral("type"), QStringLiteral("xsd:string"));
        xml.writeCharacters(text);
        xml.writeEndElement();
        xml.writeEndElement();
    });
}

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 405:
        return "Method Not Allowed";
    case 403:
        return "Forbidden";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    default:
        return "Unknown";
    }
}

// Hostile replies of about `size` bytes, well-formed unless cut off.
QByteArray deep(int size)
{
    const QByteArray head =
        envelope([](QXmlStreamWriter &xml) { xml.writeEmptyElement(QStringLiteral("at")); });
    const qsizetype at = head.indexOf("<at/>");
    const qsizetype levels = qMax<qsizetype>(1, (size - head.size()) / 7);
    return head.left(at) + QByteArray("<a>").repeated(levels) +
           QByteArray("</a>").repeated(levels) + head.mid(at + 5);
}

QByteArray manyAttributes(int size)
{
    const QByteArray head =
        envelope([](QXmlStreamWriter &xml) { xml.writeEmptyElement(QStringLiteral("at")); });
    const qsizetype at = head.indexOf("<at/>");
    QByteArray element = "<r";
    for (int i = 0; element.size() + head.size() + 16 < size; ++i)
        element += " a" + QByteArray::number(i) + "=\"\"";
    return head.left(at) + element + "/>" + head.mid(at + 5);
}

QByteArray longFault(int size)
{
    QString text;
    for (int line = 1; text.size() + 600 < size; ++line)
        text += QStringLiteral("Faute longue : ligne %1\n").arg(line);
    return fault(QStringLiteral("SOAP-ENV:Server"), text);
}

QByteArray httpResponse(int status, const QByteArray &content, const QByteArray &extraHeaders = {},
                        bool sized = true)
{
    const bool xml = content.startsWith("<");
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    out += xml ? "Content-Type: text/xml; charset=utf-8\r\n"
               : "Content-Type: text/plain; charset=utf-8\r\n";
    if (sized)
        out += "Content-Length: " + QByteArray::number(content.size()) + "\r\n";
    out += extraHeaders + "Connection: close\r\n\r\n";
    return out + content;
}

QJsonValue argument(const Call &call, const QString &name)
{
    const auto it = call.arguments.constFind(name);
    return it == call.arguments.cend() ? QJsonValue() : QJsonValue(*it);
}

} // namespace

ProviderSession::ProviderSession(QSslSocket *socket, ProviderServer *server)
    : QObject(server), socket(socket), server(server)
{
    socket->setParent(this);
    connect(socket, &QSslSocket::readyRead, this, &ProviderSession::readRequest);
    connect(socket, &QSslSocket::disconnected, this, [this] {
        if (!closing)
            this->server->logRequest({{QStringLiteral("event"), QStringLiteral("client closed")}});
        deleteLater();
    });
    QTimer::singleShot(maxSessionMs, this, [this] {
        closing = true;
        this->socket->abort();
    });
    if (socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &ProviderSession::readRequest);
}

void ProviderSession::readRequest()
{
    buffer += socket->readAll();
    if (!headDone) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (buffer.size() > maxRequestHead)
                send(431, {});
            return;
        }
        if (!parseHead(buffer.left(end))) {
            send(400, {});
            return;
        }
        buffer.remove(0, end + 4);
        headDone = true;
        bool ok = false;
        const QByteArray length = header("content-length");
        contentLength = length.isEmpty() ? 0 : length.toLongLong(&ok);
        if (length.isEmpty() && method == "POST") {
            send(411, {});
            return;
        }
        if ((!length.isEmpty() && !ok) || contentLength < 0) {
            send(400, {});
            return;
        }
        if (contentLength > maxRequestBody) {
            send(413, {});
            return;
        }
    }
    if (buffer.size() < contentLength)
        return;
    body = buffer.left(contentLength);
    buffer.clear();
    disconnect(socket, &QSslSocket::readyRead, this, &ProviderSession::readRequest);
    handleRequest();
}

bool ProviderSession::parseHead(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1."))
        return false;
    method = requestLine.at(0);
    target = requestLine.at(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        headers.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    // HTTP/1.1 refuses a request whose Host is missing or no host[:port], an IPv6 one unbracketed.
    const QUrl host(QStringLiteral("//") + QString::fromLatin1(header("host")), QUrl::StrictMode);
    return host.isValid() && !host.host().isEmpty();
}

QByteArray ProviderSession::header(const QByteArray &name) const
{
    for (const auto &entry : headers) {
        if (entry.first == name)
            return entry.second;
    }
    return {};
}

void ProviderSession::handleRequest()
{
    const ProviderServer::Options &options = server->options();
    const Call call = parseCall(body);

    QJsonObject entry;
    entry.insert(QStringLiteral("httpMethod"), QString::fromLatin1(method));
    entry.insert(QStringLiteral("path"), QString::fromLatin1(target));
    entry.insert(QStringLiteral("contentType"), QString::fromLatin1(header("content-type")));
    entry.insert(QStringLiteral("connection"), QString::fromLatin1(header("connection")));
    entry.insert(QStringLiteral("host"), QString::fromLatin1(header("host")));
    bool actionSent = false;
    for (const auto &h : headers)
        actionSent = actionSent || h.first == "soapaction";
    entry.insert(QStringLiteral("soapAction"),
                 actionSent ? QJsonValue(QString::fromLatin1(header("soapaction"))) : QJsonValue());
    entry.insert(QStringLiteral("namespace"), call.ns);
    entry.insert(QStringLiteral("method"), call.method);
    for (const char *name : {"login", "password", "calling", "called", "billingNumber"})
        entry.insert(QLatin1String(name), argument(call, QLatin1String(name)));
    entry.insert(QStringLiteral("body"), QString::fromUtf8(body));
    if (!call.error.isEmpty())
        entry.insert(QStringLiteral("error"), call.error);
    server->logRequest(entry);

    const QString client = QStringLiteral("SOAP-ENV:Client");
    status = 500;
    if (method != "POST") {
        status = 405;
        reply.clear();
    } else if (!call.error.isEmpty()) {
        reply = fault(client, QStringLiteral("Requête SOAP invalide : %1").arg(call.error));
    } else if (call.method != methodName) {
        reply = fault(client, QStringLiteral("Méthode inconnue : %1").arg(call.method));
    } else if (call.arguments.value(QStringLiteral("login")) != options.login ||
               call.arguments.value(QStringLiteral("password")) != options.password) {
        reply = fault(client, QStringLiteral("Identifiant ou mot de passe incorrect"));
    } else if (call.arguments.value(QStringLiteral("called")).isEmpty()) {
        reply = fault(client, QStringLiteral("Numéro appelé manquant"));
    } else {
        status = 200;
        reply = success(call.ns, QStringLiteral("Appel lancé vers %1")
                                     .arg(call.arguments.value(QStringLiteral("called"))));
    }
    if (status == 500 && options.misbehaviour == ProviderServer::Misbehaviour::FaultStatus200)
        status = 200;

    if (options.delayMs > 0)
        QTimer::singleShot(options.delayMs, this, &ProviderSession::answer);
    else
        answer();
}

void ProviderSession::answer()
{
    using M = ProviderServer::Misbehaviour;
    switch (server->options().misbehaviour) {
    case M::None:
    case M::FaultStatus200:
        send(status, reply);
        break;
    case M::MalformedXml: {
        QByteArray truncated = success(QStringLiteral("urn:truncated"), QStringLiteral("OK"));
        truncated.chop(truncated.size() / 3);
        send(200, truncated);
        break;
    }
    case M::NotXml:
        send(200, "Service momentanément indisponible\n");
        break;
    case M::NotSoapEnvelope:
        send(200, "<?xml version=\"1.0\"?><html><body><p>Maintenance</p></body></html>");
        break;
    case M::EmptyFaultString:
        send(500, fault(QStringLiteral("SOAP-ENV:Server"), QString()));
        break;
    case M::BareFault:
        send(500, envelope([](QXmlStreamWriter &xml) {
                 xml.writeEmptyElement(envelopeNs, QStringLiteral("Fault"));
             }));
        break;
    case M::Forbidden:
        send(403, success(QStringLiteral("urn:forbidden"), QStringLiteral("OK")));
        break;
    case M::HugeBody:
        sendHuge(true);
        break;
    case M::HugeBodyUnsized:
        sendHuge(false);
        break;
    case M::Reset:
        resetConnection();
        break;
    case M::CloseAfterRequest:
        close();
        break;
    case M::Unsized:
        socket->write(httpResponse(status, reply, {}, false));
        close();
        break;
    case M::Silent:
    case M::CloseAtOnce: // never comes this far
        break;
    case M::Drip:
        dripping = httpResponse(status, reply);
        dripMore();
        break;
    case M::Deep:
        send(200, deep(server->options().replySize));
        break;
    case M::ManyAttributes:
        send(200, manyAttributes(server->options().replySize));
        break;
    case M::LongFault:
        send(500, longFault(server->options().replySize));
        break;
    case M::Redirect:
        send(302, success(QStringLiteral("urn:redirect"), QStringLiteral("OK")),
             "Location: /moved" + target + "\r\n");
        break;
    case M::HeaderFlood:
        stream(
            "HTTP/1.1 200 OK\r\n",
            [line = 0]() mutable {
                QByteArray lines;
                while (lines.size() < chunkSize)
                    lines += "X-Flood-" + QByteArray::number(++line) + ": " + QByteArray(60, 'f') +
                             "\r\n";
                return lines;
            },
            endlessSize);
        break;
    case M::EndlessHeader:
        stream(
            "HTTP/1.1 200 OK\r\nX-Endless: ", [] { return QByteArray(chunkSize, 'e'); },
            endlessSize);
        break;
    case M::EndlessStatus:
        stream(
            "HTTP/1.1 200 ", [] { return QByteArray(chunkSize, 'O'); }, endlessSize);
        break;
    case M::Endless:
        stream(
            "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nTransfer-Encoding: "
            "chunked\r\nConnection: close\r\n\r\n",
            [] { return "4000\r\n" + QByteArray(0x4000, ' ') + "\r\n"; }, endlessSize);
        break;
    }
}

void ProviderSession::send(int status, const QByteArray &content, const QByteArray &extraHeaders)
{
    disconnect(socket, &QSslSocket::readyRead, this, &ProviderSession::readRequest);
    socket->write(httpResponse(status, content, extraHeaders));
    close();
}

void ProviderSession::close()
{
    closing = true;
    socket->disconnectFromHost();
}

void ProviderSession::dripMore()
{
    socket->write(dripping.left(1));
    dripping.remove(0, 1);
    if (dripping.isEmpty())
        close();
    else
        QTimer::singleShot(1000, this, &ProviderSession::dripMore);
}

// A well-formed success reply padded to 8 MiB: a client without a size limit would take it as a
// placed call.
void ProviderSession::sendHuge(bool sized)
{
    const QByteArray whole = success(QStringLiteral("urn:huge"), QStringLiteral("@"));
    const qsizetype at = whole.indexOf('@');
    QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\n";
    if (sized)
        head += "Content-Length: " + QByteArray::number(hugeSize) + "\r\n";
    head += "Connection: close\r\n\r\n";
    stream(
        head + whole.left(at), [] { return QByteArray(chunkSize, ' '); },
        hugeSize - whole.size() + 1, whole.mid(at + 1));
}

void ProviderSession::stream(const QByteArray &head, const std::function<QByteArray()> &piece,
                             qint64 total, const QByteArray &tail)
{
    socket->write(head);
    nextPiece = piece;
    streamLeft = total;
    reply = tail;
    connect(socket, &QSslSocket::encryptedBytesWritten, this, &ProviderSession::streamMore);
    streamMore();
}

// Only as fast as the client reads, so that the simulator's own memory stays small.
void ProviderSession::streamMore()
{
    while (streamLeft > 0 &&
           socket->encryptedBytesToWrite() + socket->bytesToWrite() < 4 * chunkSize) {
        const QByteArray next = nextPiece().left(streamLeft);
        socket->write(next);
        streamLeft -= next.size();
    }
    if (streamLeft == 0 && !closing) {
        socket->write(reply);
        reply.clear();
        close();
    }
}

void ProviderSession::resetConnection()
{
    // A zero linger time makes close() send RST instead of an orderly shutdown.
    const linger immediate{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediate,
                 sizeof immediate);
    closing = true;
    socket->abort();
}
