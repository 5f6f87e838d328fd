#pragma once

#include "soaphttptransport.h"

#include <QList>
#include <QObject>
#include <QSettings>
#include <QSslError>
#include <QString>

class QNetworkReply;

// Client of the provider's click-to-call web service, and home of the number recogniser.
//
// Requests go to the compiled-in endpoint (TINTELLE_SOAP_HOST, port 1664, path "/") unless the
// settings hold "endpoint", an https URL read at each request. The server's certificate must be
// trusted by the system store and match its name: certificate errors are logged, never ignored.
class WS : public QObject
{
    Q_OBJECT

public:
    explicit WS(QObject *parent = nullptr);
    ~WS() override;

    // Sends one request for `called`, already in dial form, with the stored "login", "password"
    // and "number" (sent as calling and billingNumber). Returns at once; every request ends in
    // exactly one click2CallResult(), also when the "endpoint" setting is unusable and nothing
    // is sent. A request still in flight when the client is destroyed is abandoned silently.
    void click2Call(const QString &called);

    // Searches `text` for the first callable number. Found: `text` becomes its digits and
    // `dialNumber` the form sent to the service. Not found: `text` is cleared and `dialNumber`
    // left alone. Both may be the same string, which then ends holding the dial form.
    // Linear in the length of `text`.
    static QString &extractNumber(QString &text, QString &dialNumber);
    // Turns "+" into "00", drops everything from the first "(" to the last ")", then every
    // non-digit.
    static QString &normalizeNumber(QString &number);

signals:
    void click2CallResult(bool success, QString error);

private slots:
    void wsResponse();
    void sslErrors(QNetworkReply *qnr, const QList<QSslError> &errlist);

private:
    SoapHttpTransport transport;
    QSettings settings;
};
