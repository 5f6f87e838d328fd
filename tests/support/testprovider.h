#pragma once

#include "testcertificates.h"

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The provider simulator (tintelle-provider-sim) run as a child process on 127.0.0.1 with a
// throwaway certificate, for tests that need the real HTTPS service:
//
//     TestProvider provider;
//     QVERIFY2(provider.start(), qPrintable(provider.errorString()));
//     QSettings().setValue("endpoint", provider.url());
//     ... place the call ...
//     QVERIFY(provider.waitForRequests(1));
//     QCOMPARE(provider.requests().first().value("called").toString(), "0033612345678");
//
// start() also makes this process trust the test CA (TestCertificates::trustTestCa()). The
// simulator accepts the call only when login and password match the options, and answers a
// SOAP fault at HTTP 500 otherwise ("Identifiant ou mot de passe incorrect"), or when the called
// number is empty ("Numéro appelé manquant"). The destructor stops the process.
class TestProvider
{
public:
    // Deliberate faults of the server's answer.
    enum class Misbehaviour {
        None,
        MalformedXml,     // 200 with a truncated envelope
        NotXml,           // 200 with plain text
        NotSoapEnvelope,  // 200 with well-formed XML that is no SOAP envelope
        EmptyFaultString, // 500 with a fault whose faultstring is empty
        FaultStatus200,   // faults go out with status 200 instead of 500
        HugeBody,         // 200 with an 8 MiB success envelope, Content-Length announced
        HugeBodyUnsized,  // the same without Content-Length, ended by closing
        Reset,            // the connection is reset once the request has been read
    };

    struct Options
    {
        QString login = QStringLiteral("alice");
        QString password = QStringLiteral("secret");
        TestCertificates::Kind certificate = TestCertificates::Kind::Valid;
        Misbehaviour misbehaviour = Misbehaviour::None;
        int delayMs = 0; // wait before answering each request
    };

    TestProvider();
    ~TestProvider();
    TestProvider(const TestProvider &) = delete;
    TestProvider &operator=(const TestProvider &) = delete;

    // Starts the simulator and waits until it listens (a few hundred ms at most). A running one
    // is stopped first; the request log starts empty.
    bool start(const Options &options);
    bool start() { return start(Options()); }
    void stop();
    bool isRunning() const;
    QString errorString() const { return error; }

    quint16 port() const { return listeningPort; }
    // "https://127.0.0.1:PORT" + path: the value for the "endpoint" setting.
    QString url(const QString &path = QStringLiteral("/")) const;

    // Requests read so far, oldest first, one object per request with the string members
    // "login", "password", "calling", "called", "billingNumber" (null when the element was
    // missing), "namespace" and "method" (the Body's first element), "contentType",
    // "soapAction" (null when no SOAPAction header came), "httpMethod", "path", "body" (the raw
    // XML), and "error" when the body was no SOAP call. A client whose TLS handshake failed
    // leaves no entry.
    QList<QJsonObject> requests() const;
    // Runs the event loop until at least `count` requests have been read.
    bool waitForRequests(int count, int timeoutMs = 5000) const;

    // The simulator executable: $TINTELLE_PROVIDER_SIM, else the one built with the tests.
    static QString simulatorPath();

private:
    QProcess process;
    QTemporaryDir dir;
    quint16 listeningPort = 0;
    QString error;
};
