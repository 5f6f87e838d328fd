#include "soaphttptransport.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {

const QString clientCode = QStringLiteral("SOAP-ENV:Client");

QString transportError(const QNetworkReply *reply)
{
    return QStringLiteral("Network transport error (%1): %2")
        .arg(int(reply->error()))
        .arg(reply->errorString());
}

} // namespace

SoapHttpTransport::SoapHttpTransport(QObject *parent) : QObject(parent)
{
    connect(&manager, &QNetworkAccessManager::finished, this, &SoapHttpTransport::finish);
}

SoapHttpTransport::~SoapHttpTransport()
{
    // The manager outlives this body and emits finished() as it aborts: keep that from reaching
    // a half-destroyed object.
    manager.disconnect(this);
    const QList<QNetworkReply *> replies = pending.keys();
    pending.clear();
    for (QNetworkReply *reply : replies) {
        reply->disconnect(this);
        reply->abort();
    }
}

void SoapHttpTransport::setHost(const QString &host, bool useSecureHTTP, int port)
{
    this->host = host;
    secure = useSecureHTTP;
    this->port = port;
}

void SoapHttpTransport::submitRequest(const SoapMessage &request, const QString &path)
{
    const QUrl relative(path);
    QUrl url;
    url.setScheme(secure ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(host);
    if (port > 0)
        url.setPort(port);
    url.setPath(relative.path().isEmpty() ? QStringLiteral("/") : relative.path());
    if (relative.hasQuery())
        url.setQuery(relative.query());

    QNetworkRequest httpRequest(url);
    httpRequest.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("text/xml;charset=utf-8"));
    httpRequest.setRawHeader("SOAPAction", "\"\"");
    // A redirect would resend the password to wherever the server points.
    httpRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);

    QNetworkReply *reply = manager.post(httpRequest, request.toXml());
    // Keeps the network layer from buffering far past what readSome() accepts.
    reply->setReadBufferSize(64 * 1024);
    pending.insert(reply, Pending());
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { checkLength(reply); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { readSome(reply); });
}

void SoapHttpTransport::checkLength(QNetworkReply *reply)
{
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > maxReplySize)
        refuseTooLarge(reply);
}

void SoapHttpTransport::readSome(QNetworkReply *reply)
{
    const auto it = pending.find(reply);
    if (it == pending.end() || it->tooLarge)
        return;
    it->body += reply->read(maxReplySize + 1 - it->body.size());
    if (it->body.size() > maxReplySize)
        refuseTooLarge(reply);
}

void SoapHttpTransport::refuseTooLarge(QNetworkReply *reply)
{
    const auto it = pending.find(reply);
    if (it == pending.end() || it->tooLarge)
        return;
    it->tooLarge = true;
    it->body = QByteArray();
    // May emit finished() at once, which ends this request.
    reply->abort();
}

void SoapHttpTransport::finish(QNetworkReply *reply)
{
    reply->deleteLater();
    const auto it = pending.find(reply);
    if (it == pending.end())
        return;
    Pending state = std::move(*it);
    pending.erase(it);
    if (!state.tooLarge) {
        state.body += reply->read(maxReplySize + 1 - state.body.size());
        state.tooLarge = state.body.size() > maxReplySize;
    }

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (state.tooLarge) {
        response.setFault(clientCode,
                          QStringLiteral("Reply too large: more than %1 bytes").arg(maxReplySize));
    } else if (!status.isValid()) {
        response.setFault(clientCode, transportError(reply));
    } else {
        SoapMessage parsed;
        const bool wellFormed = parsed.setContent(state.body);
        const int code = status.toInt();
        if (wellFormed && parsed.isFault())
            response = parsed;
        else if (reply->error() != QNetworkReply::NoError)
            response.setFault(clientCode, transportError(reply));
        else if (code < 200 || code > 299)
            response.setFault(clientCode, QStringLiteral("Unexpected HTTP status %1").arg(code));
        else
            response = parsed;
    }
    emit responseReady();
}
