#include "testcertificates.h"
#include "testprovider.h"
#include "testsettings.h"
#include "ws.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QSslError>
#include <QTcpServer>
#include <QTest>
#include <QXmlStreamReader>
#include <memory>

using Misbehaviour = TestProvider::Misbehaviour;
using Kind = TestCertificates::Kind;

namespace {

const QString login = QStringLiteral("alice");
const QString password = QStringLiteral("secret");
const QString number = QStringLiteral("0123456789");
const QString called = QStringLiteral("0033612345678");

QStringList sslLines;
QtMessageHandler previousHandler = nullptr;

void captureSslLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && message.startsWith(QLatin1String("SSL error:")))
        sslLines << message;
    previousHandler(type, context, message);
}

struct Result
{
    bool success = false;
    QString error;
};

} // namespace

class TestWS : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void metaObjectContract();
    void outcome_data();
    void outcome();
    void certificates_data();
    void certificates();
    void sslErrorsLoggedOncePerClient();
    void connectionRefused();
    void valuesSent_data();
    void valuesSent();
    void wireFormat();
    void twoQuickCalls();
    void destroyedMidFlight();
    void endpointHonoured();
    void endpointRefused_data();
    void endpointRefused();

private:
    bool startProvider(const TestProvider::Options &options = TestProvider::Options());
    Result call(WS &ws, const QString &number);

    TestProvider provider;
};

void TestWS::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tintelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Tintelle"));
    const TestCertificates &certificates = TestCertificates::instance();
    QVERIFY2(certificates.isValid(), qPrintable(certificates.errorString()));
}

void TestWS::init()
{
    provider.stop();
    resetSettings();
}

// Connections by name and signal spies by index depend on this table.
void TestWS::metaObjectContract()
{
    const QMetaObject &meta = WS::staticMetaObject;
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 3);
    const struct
    {
        const char *signature;
        QMetaMethod::MethodType type;
        QMetaMethod::Access access;
        QList<QByteArray> parameters;
    } expected[] = {
        {"click2CallResult(bool,QString)",
         QMetaMethod::Signal,
         QMetaMethod::Public,
         {"success", "error"}},
        {"wsResponse()", QMetaMethod::Slot, QMetaMethod::Private, {}},
        {"sslErrors(QNetworkReply*,QList<QSslError>)",
         QMetaMethod::Slot,
         QMetaMethod::Private,
         {"qnr", "errlist"}},
    };
    for (int i = 0; i < 3; ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(method.methodSignature(), QByteArray(expected[i].signature));
        QCOMPARE(method.methodType(), expected[i].type);
        QCOMPARE(method.access(), expected[i].access);
        QCOMPARE(method.parameterNames(), expected[i].parameters);
    }
}

bool TestWS::startProvider(const TestProvider::Options &options)
{
    if (!provider.start(options)) {
        qWarning() << provider.errorString();
        return false;
    }
    resetSettings({{"login", login},
                   {"password", password},
                   {"number", number},
                   {"endpoint", provider.url()}});
    return true;
}

Result TestWS::call(WS &ws, const QString &dialNumber)
{
    QSignalSpy spy(&ws, &WS::click2CallResult);
    ws.click2Call(dialNumber);
    Result result;
    if (!spy.wait(10000)) {
        result.error = QStringLiteral("no result");
        return result;
    }
    // Exactly one result per request: anything more must arrive with it or just after.
    QTest::qWait(50);
    if (spy.size() != 1) {
        result.error = QStringLiteral("%1 results").arg(spy.size());
        return result;
    }
    result.success = spy.first().at(0).toBool();
    result.error = spy.first().at(1).toString();
    return result;
}

void TestWS::outcome_data()
{
    QTest::addColumn<QString>("serverPassword");
    QTest::addColumn<int>("misbehaviour");
    QTest::addColumn<QString>("called");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("prefixOnly");

    const int none = int(Misbehaviour::None);
    QTest::addRow("success") << password << none << called << true << "" << false;
    QTest::addRow("fault at HTTP 500")
        << "other" << none << called << false << "Identifiant ou mot de passe incorrect" << false;
    QTest::addRow("fault at HTTP 200") << "other" << int(Misbehaviour::FaultStatus200) << called
                                       << false << "Identifiant ou mot de passe incorrect" << false;
    QTest::addRow("empty called refused by the service")
        << password << none << "" << false << "Numéro appelé manquant" << false;
    QTest::addRow("fault with empty faultstring")
        << password << int(Misbehaviour::EmptyFaultString) << called << false
        << "Le service a refusé l'appel sans en donner la raison (code : SOAP-ENV:Server)."
        << false;
    QTest::addRow("not XML") << password << int(Misbehaviour::NotXml) << called << false
                             << "XML parse error" << false;
    QTest::addRow("malformed XML") << password << int(Misbehaviour::MalformedXml) << called << false
                                   << "XML parse error" << false;
    QTest::addRow("not a SOAP envelope") << password << int(Misbehaviour::NotSoapEnvelope) << called
                                         << false << "SOAP structure invalid" << false;
    QTest::addRow("connection reset") << password << int(Misbehaviour::Reset) << called << false
                                      << "Network transport error (" << true;
    QTest::addRow("reply over the cap, announced")
        << password << int(Misbehaviour::HugeBody) << called << false
        << "Reply too large: more than 1048576 bytes" << false;
    QTest::addRow("reply over the cap, unannounced")
        << password << int(Misbehaviour::HugeBodyUnsized) << called << false
        << "Reply too large: more than 1048576 bytes" << false;
}

void TestWS::outcome()
{
    QFETCH(QString, serverPassword);
    QFETCH(int, misbehaviour);
    QFETCH(QString, called);
    QFETCH(bool, success);
    QFETCH(QString, error);
    QFETCH(bool, prefixOnly);

    TestProvider::Options options;
    options.password = serverPassword;
    options.misbehaviour = Misbehaviour(misbehaviour);
    QVERIFY(startProvider(options));

    WS ws;
    const Result result = call(ws, called);
    QCOMPARE(result.success, success);
    if (prefixOnly)
        QVERIFY2(result.error.startsWith(error), qPrintable(result.error));
    else
        QCOMPARE(result.error, error);
    QVERIFY(provider.requests().size() >= 1);
}

void TestWS::certificates_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("expectedError");

    QTest::addRow("self-signed") << int(Kind::SelfSigned) << int(QSslError::SelfSignedCertificate);
    QTest::addRow("expired") << int(Kind::Expired) << int(QSslError::CertificateExpired);
    QTest::addRow("wrong host") << int(Kind::WrongHost) << int(QSslError::HostNameMismatch);
    QTest::addRow("untrusted CA") << int(Kind::UntrustedCa)
                                  << int(QSslError::UnableToGetLocalIssuerCertificate);
}

// A certificate the system does not trust stops the call before the password leaves.
void TestWS::certificates()
{
    QFETCH(int, kind);
    QFETCH(int, expectedError);

    TestProvider::Options options;
    options.certificate = Kind(kind);
    QVERIFY(startProvider(options));

    sslLines.clear();
    previousHandler = qInstallMessageHandler(captureSslLines);
    WS ws;
    const Result result = call(ws, called);
    qInstallMessageHandler(previousHandler);

    QVERIFY(!result.success);
    QVERIFY2(result.error.startsWith("Network transport error ("), qPrintable(result.error));
    QVERIFY(!sslLines.isEmpty());
    const QString expected = QSslError(QSslError::SslError(expectedError)).errorString();
    QVERIFY2(sslLines.join('\n').contains(expected), qPrintable(sslLines.join('\n')));
    QVERIFY(provider.requests().isEmpty());
}

void TestWS::sslErrorsLoggedOncePerClient()
{
    TestProvider::Options options;
    options.certificate = Kind::SelfSigned;
    QVERIFY(startProvider(options));

    WS ws;
    previousHandler = qInstallMessageHandler(captureSslLines);
    sslLines.clear();
    const Result first = call(ws, called);
    const qsizetype linesOfFirst = sslLines.size();
    sslLines.clear();
    const Result second = call(ws, called);
    qInstallMessageHandler(previousHandler);

    QVERIFY(!first.success);
    QVERIFY(!second.success);
    QVERIFY(linesOfFirst > 0);
    QCOMPARE(sslLines.size(), linesOfFirst);
}

void TestWS::connectionRefused()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    resetSettings({{"endpoint", QStringLiteral("https://127.0.0.1:%1/").arg(port)}});

    WS ws;
    const Result result = call(ws, called);
    QVERIFY(!result.success);
    QVERIFY2(result.error.startsWith("Network transport error ("), qPrintable(result.error));
}

void TestWS::valuesSent_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("called");
    QTest::addColumn<bool>("success");

    QTest::addRow("all stored") << QVariantMap{{"login", login},
                                               {"password", password},
                                               {"number", number}}
                                << called << true;
    QTest::addRow("nothing stored") << QVariantMap() << called << false;
    QTest::addRow("empty called") << QVariantMap{{"login", login},
                                                 {"password", password},
                                                 {"number", number}}
                                  << "" << false;
    QTest::addRow("special characters") << QVariantMap{{"login", "é&<b>"},
                                                       {"password", "p&ss<wörd>\"'  ]]> €"},
                                                       {"number", " +33 (0)1 "}}
                                        << "00 33 ; <6>" << true;
    QTest::addRow("stored values of another type")
        << QVariantMap{{"login", login}, {"password", password}, {"number", 123}} << called << true;
}

// What is stored goes out unchanged; calling and billingNumber are both the stored number.
void TestWS::valuesSent()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QString, called);
    QFETCH(bool, success);

    TestProvider::Options options;
    options.login = stored.value("login", options.login).toString();
    options.password = stored.value("password", options.password).toString();
    QVERIFY(provider.start(options));
    stored.insert("endpoint", provider.url());
    resetSettings(stored);

    WS ws;
    QCOMPARE(call(ws, called).success, success);
    QCOMPARE(provider.requests().size(), 1);
    const QJsonObject sent = provider.requests().first();
    for (const char *key : {"login", "password", "calling", "called", "billingNumber"})
        QVERIFY2(sent.value(key).isString(), key);
    QCOMPARE(sent.value("login").toString(), stored.value("login").toString());
    QCOMPARE(sent.value("password").toString(), stored.value("password").toString());
    QCOMPARE(sent.value("calling").toString(), stored.value("number").toString());
    QCOMPARE(sent.value("billingNumber").toString(), stored.value("number").toString());
    QCOMPARE(sent.value("called").toString(), called);
}

// The request element by element, namespaces included, as the service receives it.
void TestWS::wireFormat()
{
    QVERIFY(startProvider());
    WS ws;
    QVERIFY(call(ws, called).success);
    QCOMPARE(provider.requests().size(), 1);
    const QJsonObject sent = provider.requests().first();
    QCOMPARE(sent.value("httpMethod").toString(), QString("POST"));
    QCOMPARE(sent.value("path").toString(), QString("/"));
    QCOMPARE(sent.value("contentType").toString(), QString("text/xml;charset=utf-8"));
    QCOMPARE(sent.value("soapAction").toString(), QString("\"\""));

    const QString env = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
    const QString enc = QStringLiteral("http://schemas.xmlsoap.org/soap/encoding/");
    const QString xsi = QStringLiteral("http://www.w3.org/1999/XMLSchema-instance");
    const QString xsd = QStringLiteral("http://www.w3.org/1999/XMLSchema");
    QXmlStreamReader xml(sent.value("body").toString());

    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.qualifiedName().toString(), QString("SOAP-ENV:Envelope"));
    QCOMPARE(xml.namespaceUri().toString(), env);
    QMap<QString, QString> declared;
    for (const QXmlStreamNamespaceDeclaration &d : xml.namespaceDeclarations())
        declared.insert(d.prefix().toString(), d.namespaceUri().toString());
    const QMap<QString, QString> expectedDeclarations{
        {"SOAP-ENV", env}, {"SOAP-ENC", enc}, {"xsi", xsi}, {"xsd", xsd}};
    QCOMPARE(declared, expectedDeclarations);
    QCOMPARE(xml.attributes().value(env, "encodingStyle").toString(), enc);

    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.qualifiedName().toString(), QString("SOAP-ENV:Body"));
    QCOMPARE(xml.namespaceUri().toString(), env);

    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name().toString(), QString("telephonyClick2CallDo"));
    QCOMPARE(xml.namespaceUri().toString(), QString(TINTELLE_SOAP_NAMESPACE));

    const QStringList names{"login", "password", "calling", "called", "billingNumber"};
    const QStringList values{login, password, number, called, number};
    for (qsizetype i = 0; i < names.size(); ++i) {
        QVERIFY(xml.readNextStartElement());
        QCOMPARE(xml.qualifiedName().toString(), names.at(i));
        QCOMPARE(xml.namespaceUri().toString(), QString());
        QCOMPARE(xml.attributes().size(), 1);
        QCOMPARE(xml.attributes().first().namespaceUri().toString(), xsi);
        QCOMPARE(xml.attributes().first().name().toString(), QString("type"));
        QCOMPARE(xml.attributes().first().value().toString(), QString("xsd:string"));
        QCOMPARE(xml.readElementText(), values.at(i));
    }
    QVERIFY(!xml.readNextStartElement()); // end of the method element
    QVERIFY(!xml.readNextStartElement()); // end of Body
    QVERIFY(!xml.readNextStartElement()); // end of Envelope
    while (!xml.atEnd())
        xml.readNext();
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
}

void TestWS::twoQuickCalls()
{
    TestProvider::Options options;
    options.delayMs = 200;
    QVERIFY(startProvider(options));

    WS ws;
    QSignalSpy spy(&ws, &WS::click2CallResult);
    ws.click2Call("0033611111111");
    ws.click2Call("0033622222222");
    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 2, 10000);
    QTest::qWait(100);
    QCOMPARE(spy.size(), 2);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QCOMPARE(spy.at(1).at(0).toBool(), true);

    QStringList calledNumbers;
    for (const QJsonObject &request : provider.requests())
        calledNumbers << request.value("called").toString();
    calledNumbers.sort();
    QCOMPARE(calledNumbers, QStringList({"0033611111111", "0033622222222"}));
}

// The call dialog may close while a call is in flight: nothing may come of it afterwards.
void TestWS::destroyedMidFlight()
{
    TestProvider::Options options;
    options.delayMs = 500;
    QVERIFY(startProvider(options));

    int results = 0;
    QObject receiver;
    auto ws = std::make_unique<WS>();
    connect(ws.get(), &WS::click2CallResult, &receiver, [&results] { ++results; });
    ws->click2Call(called);
    QVERIFY(provider.waitForRequests(1));
    ws.reset();
    QTest::qWait(800);
    QCOMPARE(results, 0);

    // The next client works as usual.
    WS next;
    QVERIFY(call(next, called).success);
}

void TestWS::endpointHonoured()
{
    QVERIFY(startProvider());
    resetSettings({{"login", login},
                   {"password", password},
                   {"number", number},
                   {"endpoint", provider.url("/soap/v1?client=tintelle")}});
    WS ws;
    QVERIFY(call(ws, called).success);
    QCOMPARE(provider.requests().size(), 1);
    QCOMPARE(provider.requests().first().value("path").toString(),
             QString("/soap/v1?client=tintelle"));

    // Read at each request: the next one follows the store.
    QSettings(QCoreApplication::organizationName(), QCoreApplication::applicationName())
        .setValue("endpoint", provider.url("/other"));
    QVERIFY(call(ws, called).success);
    QCOMPARE(provider.requests().size(), 2);
    QCOMPARE(provider.requests().at(1).value("path").toString(), QString("/other"));
}

void TestWS::endpointRefused_data()
{
    QTest::addColumn<QString>("endpoint");

    // %1 is the port of a plain listener that must never see a connection.
    QTest::addRow("http") << "http://127.0.0.1:%1/";
    QTest::addRow("upper-case http") << "HTTP://127.0.0.1:%1/";
    QTest::addRow("no scheme") << "127.0.0.1:%1";
    QTest::addRow("other scheme") << "ftp://127.0.0.1:%1/";
    QTest::addRow("no host") << "https:///soap";
    QTest::addRow("malformed") << "https://127.0.0.1:%1:/ x";
    QTest::addRow("bad port") << "https://127.0.0.1:99999/";
    QTest::addRow("empty") << "";
}

// The password never goes anywhere but to an https endpoint.
void TestWS::endpointRefused()
{
    QFETCH(QString, endpoint);

    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost));
    if (endpoint.contains("%1"))
        endpoint = endpoint.arg(listener.serverPort());
    resetSettings({{"login", login}, {"password", password}, {"endpoint", endpoint}});

    WS ws;
    QSignalSpy spy(&ws, &WS::click2CallResult);
    ws.click2Call(called);
    QCOMPARE(spy.size(), 0); // never from inside click2Call()
    QVERIFY(spy.wait(5000));
    QTest::qWait(100);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.first().at(0).toBool(), false);
    const QString error = spy.first().at(1).toString();
    QVERIFY2(error.startsWith("Adresse du service invalide"), qPrintable(error));
    QVERIFY2(error.contains(endpoint), qPrintable(error));
    QVERIFY(!listener.hasPendingConnections());
    QVERIFY(!listener.waitForNewConnection(100));
}

QTEST_GUILESS_MAIN(TestWS)
#include "tst_ws.moc"
