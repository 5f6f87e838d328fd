#pragma once

#include "service/httpreplyreader.h"
#include "service/soapmessage.h"

#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

// Posts SOAP messages over HTTPS, one fresh TLS connection per request, and hands each outcome
// with responseReady().
//
// Each request is a POST with "Content-Type: text/xml;charset=utf-8", an empty `SOAPAction: ""`
// header (SOAP 1.1 asks for it; the empty value means the request URI names the service), an
// explicit Content-Length and "Connection: close"; it leaves at most once and is never replayed.
// Redirects are not followed. A fault that a server sends with an HTTP error status (as SOAP 1.1
// says it should, with 500) is read from the body as such.
//
// Whatever the server sends, a request holds at most what HttpReplyReader bounds and the socket's
// read buffer; when it ends, for any reason, its connection is aborted at once so that the server
// sees the close.
class SoapHttpTransport : public QObject
{
    Q_OBJECT

public:
    // Real replies are well under 1 KiB; a bigger one is refused before it is parsed.
    static constexpr qint64 maxReplySize = HttpReplyReader::maxBodySize;

    enum class Failure {
        None, // `message` holds the reply, a SOAP fault or not
        // Before the TLS handshake completed, so before any byte of the request left:
        HostNotFound,
        ConnectionRefused,
        Unreachable,     // any other network failure
        Certificate,     // the server's certificate was refused (see sslErrors())
        SecureChannel,   // the handshake failed for another reason
        ConnectDeadline, // no secure connection within the deadline
        // Once the request may have left:
        ConnectionLost, // the connection ended before a whole reply
        Unreadable,     // not XML, not SOAP, too large, or not the HTTP reply expected
        Deadline,       // no whole reply within the deadline
    };
    struct Reply
    {
        Failure failure = Failure::None;
        SoapMessage message;
        QString detail; // what went wrong, in the network layer's words; for the log only
    };

    explicit SoapHttpTransport(QObject *parent = nullptr);
    // Requests still in flight are abandoned without responseReady().
    ~SoapHttpTransport() override;

    // Target of the following submissions: `host` over HTTPS on `port`, with the TLS settings
    // of `ssl` (certificate authorities included). The certificate must match `host`.
    void setHost(const QString &host, int port,
                 const QSslConfiguration &ssl = QSslConfiguration::defaultConfiguration());
    // Each request ends at the latest this long after its submission; set before submitting.
    void setDeadline(int seconds) { deadlineSeconds = seconds; }
    int deadline() const { return deadlineSeconds; }
    // Serialises `request` and posts it to `path`, an encoded path beginning "/" with an
    // optional "?query", sent as it is. Returns at once. Requests may overlap; each ends in one
    // responseReady(). Returns false, sending nothing and emitting nothing, when `request` cannot
    // be serialised or `path` holds what a request line cannot carry.
    bool submitRequest(const SoapMessage &request, const QString &path);

signals:
    // Once per request, the last thing the request does: the receiver may destroy the transport.
    void responseReady(const SoapHttpTransport::Reply &reply);
    // The certificate errors that made a handshake fail, once per handshake.
    void sslErrors(const QList<QSslError> &errors);

private:
    class Exchange;

    QString host;
    int port = 443;
    QSslConfiguration ssl;
    int deadlineSeconds = 0;
};
