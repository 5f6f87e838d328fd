#pragma once

#include "service/phonenumber.h"
#include "service/soaphttptransport.h"

#include <QList>
#include <QObject>
#include <QSettings>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

// Client of the provider's click-to-call web service.
//
// Requests go to the compiled-in endpoint (TINTELLE_SOAP_HOST, port 1664, path "/") unless the
// settings hold "endpoint", an https URL read at each request; "endpointca", read with it, names
// a PEM file of certificate authorities trusted for that endpoint in addition to the system's.
// The server's certificate must be trusted and match its name: certificate errors are logged,
// never ignored. Failures reach the user as French sentences saying what to do; the network
// layer's own words go to the log.
class WS : public QObject
{
    Q_OBJECT

public:
    // Every call ends within this time from click2Call(), answered or not.
    static constexpr int callDeadlineSeconds = 30;

    // Largest "endpointca" file read.
    static constexpr qint64 maxCaFileSize = 1024 * 1024;
    // The host a build has when its packager gave none.
    static constexpr char placeholderHost[] = "click2call.provider.example";
    // False when calls cannot go anywhere: a build with the placeholder host and no "endpoint"
    // in `settings`.
    static bool knowsProvider(const QSettings &settings);

    // Where a request goes. `error`, when not empty, is why no request may go.
    struct Endpoint
    {
        QString host;
        int port = 0;
        QString path; // encoded, with the query if any
        QSslConfiguration ssl;
        QString error;
    };

    explicit WS(QObject *parent = nullptr);
    ~WS() override;

    // Sends one request for `called`, already in dial form, with the stored "login", "password"
    // and "number" (sent as calling and billingNumber); an empty `called` is sent as it is, and
    // the provider's answer decides. Returns at once; every request ends in exactly one
    // click2CallResult(), also when nothing is sent because the endpoint settings are unusable or
    // a value holds a character that XML cannot carry. A request leaves at most once. A request
    // still in flight when the client is destroyed is abandoned silently.
    void click2Call(const QString &called);
    // Replaces callDeadlineSeconds for the following calls (tests, diagnostics).
    void setDeadline(int seconds);
    int deadline() const { return transport.deadline(); }

    // The number rules, kept here under the names callers know (see PhoneNumber).
    static QString &extractNumber(QString &text, QString &dialNumber)
    {
        return PhoneNumber::extract(text, dialNumber);
    }
    static QString &normalizeNumber(QString &number) { return PhoneNumber::normalize(number); }

    // The endpoint that "endpoint" and "endpointca" in `settings` choose, over `compiledHost`
    // (TINTELLE_SOAP_HOST for the calls). Reads the CA file without ever blocking on it.
    static Endpoint endpoint(const QSettings &settings, const QString &compiledHost);

signals:
    void click2CallResult(bool success, QString error);

private slots:
    void wsResponse(const SoapHttpTransport::Reply &reply);
    void sslErrors(const QList<QSslError> &errlist);

private:
    void failLater(const QString &error);

    SoapHttpTransport transport;
    QSettings settings;
};
