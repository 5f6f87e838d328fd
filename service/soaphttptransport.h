#pragma once

#include "service/soapmessage.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

class QNetworkReply;

// Posts SOAP messages over HTTPS and turns each finished reply into a response message.
//
// Each request is a POST with "Content-Type: text/xml;charset=utf-8", an empty `SOAPAction: ""`
// header (SOAP 1.1 asks for it; the empty value means the request URI names the service), an
// explicit Content-Length and "Connection: close": every request goes over a connection of its
// own and leaves at most once, as its body can be read only once and is never replayed.
// Redirects are not followed. A fault that a server sends with an HTTP error status (as SOAP 1.1
// says it should, with 500) is read from the body as such. Every other failure becomes a fault:
// "Network transport error (CODE): DESCRIPTION", the French texts of a connection lost after the
// request left and of the deadline, or "Reply too large: more than maxReplySize bytes" for a
// reply that was cut off unread.
class SoapHttpTransport : public QObject
{
    Q_OBJECT

public:
    // Real replies are well under 1 KiB; a bigger one is refused before it is parsed.
    static constexpr qint64 maxReplySize = 64 * 1024;

    explicit SoapHttpTransport(QObject *parent = nullptr);
    // Requests still in flight are abandoned without responseReady().
    ~SoapHttpTransport() override;

    // Target of the following submissions: `host` over HTTPS on `port`, with the TLS settings
    // of `ssl` (certificate authorities included).
    void setHost(const QString &host, int port,
                 const QSslConfiguration &ssl = QSslConfiguration::defaultConfiguration());
    // Each request ends at the latest this long after its submission; set before submitting.
    void setDeadline(int seconds) { deadlineSeconds = seconds; }
    // Serialises `request` and posts it to `path`, an encoded path with an optional "?query",
    // taken as it is. Returns at once. Requests may overlap; each ends in one responseReady().
    // Returns false, sending nothing and emitting nothing, when `request` cannot be serialised.
    bool submitRequest(const SoapMessage &request, const QString &path);
    // The response of the request that finished last.
    const SoapMessage &getResponse() const { return response; }
    QNetworkAccessManager *networkAccessManager() { return &manager; }

signals:
    // Once per finished request, after getResponse() holds its reply.
    void responseReady();

private:
    enum class Cut { No, TooLarge, Deadline };
    struct Pending
    {
        QByteArray body;
        Cut cut = Cut::No;
        bool sent = false; // the whole request has left
    };

    void checkLength(QNetworkReply *reply);
    void readSome(QNetworkReply *reply);
    void cutOff(QNetworkReply *reply, Cut why);
    void finish(QNetworkReply *reply);

    QNetworkAccessManager manager;
    QString host;
    int port = 443;
    QSslConfiguration ssl;
    int deadlineSeconds = 0;
    SoapMessage response;
    QHash<QNetworkReply *, Pending> pending;
};
