#include "soaphttptransport.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <cstring>

namespace {

const QString clientCode = QStringLiteral("SOAP-ENV:Client");

QString transportError(const QNetworkReply *reply)
{
    return QStringLiteral("Network transport error (%1): %2")
        .arg(int(reply->error()))
        .arg(reply->errorString());
}

// A request body that can be read once. The network layer re-sends a request whose connection
// closes before the reply when it can rewind the body; with this one it cannot, so a call that
// may have rung once never rings twice.
class OneShotBody : public QIODevice
{
public:
    OneShotBody(const QByteArray &data, QObject *parent) : QIODevice(parent), data(data)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    bool reset() override { return false; }
    qint64 bytesAvailable() const override
    {
        return data.size() - offset + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *out, qint64 max) override
    {
        if (offset == data.size())
            return -1;
        const qint64 n = qMin(max, data.size() - offset);
        std::memcpy(out, data.constData() + offset, size_t(n));
        offset += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const QByteArray data;
    qint64 offset = 0;
};

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

void SoapHttpTransport::setHost(const QString &host, int port, const QSslConfiguration &ssl)
{
    this->host = host;
    this->port = port;
    this->ssl = ssl;
}

bool SoapHttpTransport::submitRequest(const SoapMessage &request, const QString &path)
{
    const QByteArray body = request.toXml();
    if (body.isEmpty())
        return false;

    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(host);
    url.setPort(port);
    // Set apart, so that a path beginning "//" is never read as a host.
    const qsizetype question = path.indexOf(QLatin1Char('?'));
    url.setPath(path.left(question), QUrl::TolerantMode);
    if (question >= 0)
        url.setQuery(path.mid(question + 1), QUrl::TolerantMode);

    QNetworkRequest httpRequest(url);
    httpRequest.setSslConfiguration(ssl);
    httpRequest.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("text/xml;charset=utf-8"));
    httpRequest.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    httpRequest.setRawHeader("SOAPAction", "\"\"");
    httpRequest.setRawHeader("Connection", "close");
    httpRequest.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    httpRequest.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    // A redirect would resend the password to wherever the server points.
    httpRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);

    auto *upload = new OneShotBody(body, nullptr);
    QNetworkReply *reply = manager.post(httpRequest, upload);
    upload->setParent(reply);
    // Keeps the network layer from buffering far past what readSome() accepts.
    reply->setReadBufferSize(maxReplySize);
    pending.insert(reply, Pending());
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { checkLength(reply); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { readSome(reply); });
    connect(reply, &QNetworkReply::uploadProgress, this, [this, reply](qint64 sent, qint64 total) {
        const auto it = pending.find(reply);
        if (it != pending.end() && total > 0 && sent == total)
            it->sent = true;
    });
    // From the submission, not from the last byte received: a server that drips a byte at a
    // time must not keep the call waiting.
    QTimer::singleShot(deadlineSeconds * 1000, reply,
                       [this, reply] { cutOff(reply, Cut::Deadline); });
    return true;
}

void SoapHttpTransport::checkLength(QNetworkReply *reply)
{
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > maxReplySize)
        cutOff(reply, Cut::TooLarge);
}

void SoapHttpTransport::readSome(QNetworkReply *reply)
{
    const auto it = pending.find(reply);
    if (it == pending.end() || it->cut != Cut::No)
        return;
    it->body += reply->read(maxReplySize + 1 - it->body.size());
    if (it->body.size() > maxReplySize)
        cutOff(reply, Cut::TooLarge);
}

void SoapHttpTransport::cutOff(QNetworkReply *reply, Cut why)
{
    const auto it = pending.find(reply);
    if (it == pending.end() || it->cut != Cut::No)
        return;
    it->cut = why;
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
    if (state.cut == Cut::No) {
        state.body += reply->read(maxReplySize + 1 - state.body.size());
        if (state.body.size() > maxReplySize)
            state.cut = Cut::TooLarge;
    }

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (state.cut == Cut::Deadline) {
        response.setFault(clientCode, tr("Le service n'a pas répondu en %1 secondes : l'appel a "
                                         "peut-être été lancé.")
                                          .arg(deadlineSeconds));
    } else if (state.cut == Cut::TooLarge) {
        response.setFault(clientCode,
                          QStringLiteral("Reply too large: more than %1 bytes").arg(maxReplySize));
    } else if (!status.isValid() && state.sent) {
        response.setFault(clientCode, tr("La connexion a été coupée après l'envoi de la demande "
                                         ": l'appel a peut-être été lancé."));
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
