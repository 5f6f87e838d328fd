#pragma once

#include "soapmessage.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

class QNetworkReply;

// Posts SOAP messages over HTTP(S) and turns each finished reply into a response message.
//
// Each request is a POST with "Content-Type: text/xml;charset=utf-8" and an empty
// `SOAPAction: ""` header (SOAP 1.1 asks for the header; the empty value means the request URI
// names the service). Redirects are not followed. Transport failures become a fault whose string
// is "Network transport error (CODE): DESCRIPTION"; a fault that a server sends with an HTTP
// error status (as SOAP 1.1 says it should, with 500) is read from the body as such.
class SoapHttpTransport : public QObject
{
    Q_OBJECT

public:
    // Reply bodies above this size are refused unread ("Reply too large").
    static constexpr qint64 maxReplySize = 1024 * 1024;

    explicit SoapHttpTransport(QObject *parent = nullptr);
    // Requests still in flight are abandoned without responseReady().
    ~SoapHttpTransport() override;

    // Target of the following submissions; port 0 means the scheme's default.
    void setHost(const QString &host, bool useSecureHTTP = false, int port = 0);
    // Serialises `request` at once and posts it to `path` (which may carry a query) on the host;
    // returns at once. Requests may overlap; each ends in one responseReady().
    void submitRequest(const SoapMessage &request, const QString &path);
    // The response of the request that finished last.
    const SoapMessage &getResponse() const { return response; }
    QNetworkAccessManager *networkAccessManager() { return &manager; }

signals:
    // Once per finished request, after getResponse() holds its reply.
    void responseReady();

private:
    struct Pending
    {
        QByteArray body;
        bool tooLarge = false;
    };

    void checkLength(QNetworkReply *reply);
    void readSome(QNetworkReply *reply);
    void refuseTooLarge(QNetworkReply *reply);
    void finish(QNetworkReply *reply);

    QNetworkAccessManager manager;
    QString host;
    bool secure = false;
    int port = 0;
    SoapMessage response;
    QHash<QNetworkReply *, Pending> pending;
};
