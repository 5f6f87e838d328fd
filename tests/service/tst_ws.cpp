#include "tests/support/testprovider.h"
#include "tests/support/testsettings.h"
#include "service/ws.h"

#include <QSignalSpy>
#include <QSslError>
#include <QTest>

namespace {

QStringList sslLines;

void captureSslLines(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg && message.startsWith(QLatin1String("SSL error:")))
        sslLines << message;
}

const QString called = QStringLiteral("0033612345678");

} // namespace

class TestWS : public QObject
{
    Q_OBJECT

    TestProvider provider;

private slots:
    void outcome_data();
    void outcome();
};

void TestWS::outcome_data()
{
    QTest::addColumn<QString>("simulator");  // its options
    QTest::addColumn<QVariantMap>("stored"); // over the account; null removes, %1 is the server
    QTest::addColumn<QStringList>("calls");  // placed at once
    QTest::addColumn<int>("requests");       // that the server saw
    QTest::addColumn<QString>("error");      // of each call: "" success, "...*" a prefix
    QTest::addColumn<QString>("path");       // that the server saw
    QTest::addColumn<int>("sslError");       // logged

    const auto row = [](const char *name, const char *simulator, const QString &error,
                        int requests = 1, const QVariantMap &stored = {},
                        const QStringList &calls = {called}, const QString &path = "/",
                        QSslError::SslError ssl = QSslError::NoError) {
        QTest::newRow(name) << simulator << stored << calls << requests << error << path
                            << int(ssl);
    };
    const QString cut = "La connexion a été coupée après l'envoi de la demande : l'appel a "
                        "peut-être été lancé.";
    const QString late = "Le service n'a pas répondu en 2 secondes : l'appel a peut-être été "
                         "lancé.";
    const QString large = "Reply too large: more than 65536 bytes";
    const QString invalid = "SOAP structure invalid", refused = "Network transport error (*";
    const QString unsendable = " contient un caractère qui ne peut pas être envoyé.";
    const QString address = "Adresse du service invalide (réglage \"endpoint\" : *";
    const QString file = "Le fichier de certificats \"%1\" (réglage \"endpointca\") ";
    const QVariant none;
    row("success", "", "");
    row("two calls at once", "", "", 2, {}, {"0033611111111", "0033622222222"});
    row("nothing stored", "", "", 1, {{"login", none}, {"password", none}, {"number", none}});
    row("what XML escapes", "", "", 1,
        {{"login", "é&<b>"}, {"password", "p&ss<wörd>\"' ]]> €\t"}, {"number", " +33 (0)1 "}});
    row("fault at HTTP 500", "--password other", "Identifiant ou mot de passe incorrect");
    row("fault at HTTP 200", "--password other --misbehave fault-status-200",
        "Identifiant ou mot de passe incorrect");
    row("empty called", "", "Numéro appelé manquant", 1, {}, {""});
    row("empty faultstring", "--misbehave empty-faultstring",
        "Le service a refusé l'appel sans en donner la raison (code : SOAP-ENV:Server).");
    row("long fault", "--misbehave long-fault", "Faute longue : ligne 1\nFaute longue : ligne 2*");
    row("malformed XML", "--misbehave malformed-xml", "XML parse error");
    row("not SOAP", "--misbehave not-soap", invalid);
    row("deep, under the cap", "--misbehave deep", invalid);
    row("many attributes, under the cap", "--misbehave many-attributes", invalid);
    row("100 000 deep", "--misbehave deep --size 700000", large);
    row("90 000 attributes", "--misbehave many-attributes --size 800000", large);
    row("huge, unannounced", "--misbehave huge-body-unsized", large);
    row("reset after the request", "--misbehave reset", cut);
    row("closed after the request", "--misbehave close-after-request", cut);
    row("silent", "--misbehave silent", late);
    row("drip", "--misbehave drip", late);
    row("self-signed", "--certificate self-signed", refused, 0, {}, {called}, {},
        QSslError::SelfSignedCertificate);
    row("expired", "--certificate expired", refused, 0, {}, {called}, {},
        QSslError::CertificateExpired);
    row("wrong host", "--certificate wrong-host", refused, 0, {}, {called}, {},
        QSslError::HostNameMismatch);
    row("CA not given", "", refused, 0, {{"endpointca", none}}, {called}, {},
        QSslError::UnableToGetLocalIssuerCertificate);
    row("CA file missing", "", file.arg("/none/ca.pem") + "ne peut pas être lu*", 0,
        {{"endpointca", "/none/ca.pem"}});
    row("CA file empty", "",
        file.arg("/dev/null") + "ne contient aucun certificat. Aucune requête n'a été envoyée.", 0,
        {{"endpointca", "/dev/null"}});
    row("path and query", "", "", 1, {{"endpoint", "%1/soap/v1?client=tintelle"}}, {called},
        "/soap/v1?client=tintelle");
    // The network layer merges repeated slashes; the first segment must not become the host.
    row("path beginning //", "", "", 1, {{"endpoint", "%1//x/soap"}}, {called}, "/x/soap");
    row("http", "", address, 0, {{"endpoint", "http://127.0.0.1:1/"}});
    row("no host", "", address, 0, {{"endpoint", "https:///soap"}});
    row("control character", "", "L'identifiant" + unsendable, 0, {{"login", "a\x01"}});
    row("lone surrogate", "", "Le mot de passe" + unsendable, 0, {{"password", QChar(0xd800)}});
    row("U+FFFF", "", "Le numéro appelant" + unsendable, 0, {{"number", QChar(0xffff)}});
    row("called unsendable", "", "Le numéro appelé" + unsendable, 0, {}, {QChar(0xdc00) + called});
}

void TestWS::outcome()
{
    QFETCH(QString, simulator);
    QFETCH(QVariantMap, stored);
    QFETCH(QStringList, calls);
    QFETCH(int, requests);
    QFETCH(QString, error);
    QFETCH(QString, path);
    QFETCH(int, sslError);

    WS ws; // before the settings: it reads them at each call
    // Only the rows that wait for the deadline shorten it: the others must never race it.
    ws.setDeadline(error.startsWith("Le service n'a pas répondu") ? 2 : WS::callDeadlineSeconds);
    QVariantMap settings{{"login", "alice"},
                         {"password", "secret"},
                         {"number", "0123456789"},
                         {"endpoint", "%1/"},
                         {"endpointca", TestProvider::caPath()}};
    for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
        if (it->isNull())
            settings.remove(it.key());
        else
            settings.insert(it.key(), *it);
    }
    QVERIFY2(provider.start({settings["login"].toString(), settings["password"].toString(), "none",
                             0, simulator.split(' ', Qt::SkipEmptyParts)}),
             qPrintable(provider.errorString()));
    settings["endpoint"] = settings["endpoint"].toString().replace("%1", provider.url(QString()));
    resetSettings(settings);
    sslLines.clear();
    qInstallMessageHandler(captureSslLines);

    QSignalSpy results(&ws, &WS::click2CallResult);
    for (const QString &number : calls)
        ws.click2Call(number);
    QCOMPARE(results.size(), 0); // never from inside click2Call()
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), calls.size(), 40000);
    QTest::qWait(100);
    QCOMPARE(results.size(), calls.size());
    for (const QList<QVariant> &result : results) {
        const QString text = result.at(1).toString();
        QVERIFY2(result.at(0).toBool() == error.isEmpty() &&
                     (error.endsWith('*') ? text.startsWith(error.chopped(1)) : text == error),
                 qPrintable(text));
    }
    const QString ssl = QSslError(QSslError::SslError(sslError)).errorString();
    QVERIFY(sslError ? sslLines.join('\n').contains(ssl) : sslLines.isEmpty());

    // What the server saw; the whole request once. It accepts only the stored account.
    const QList<QJsonObject> seen = provider.requests();
    QCOMPARE(seen.size(), requests);
    for (const QJsonObject &request : seen) {
        QVERIFY(calls.contains(request["called"].toString()));
        QCOMPARE(request["path"].toString(), path);
    }
    if (QTest::currentDataTag() != QLatin1String("success"))
        return;
    const QString request = seen[0]["httpMethod"].toString() + ' ' +
                            seen[0]["contentType"].toString() + ' ' +
                            seen[0]["soapAction"].toString() + ' ' +
                            seen[0]["connection"].toString() + '\n' + seen[0]["body"].toString();
    const QString value = R"(<%1 xsi:type="xsd:string">%2</%1>)";
    const QString expectedWire =
        R"(POST text/xml;charset=utf-8 "" close
<?xml version="1.0" encoding="UTF-8"?><SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/" xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/" xmlns:xsi="http://www.w3.org/1999/XMLSchema-instance" xmlns:xsd="http://www.w3.org/1999/XMLSchema" SOAP-ENV:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><SOAP-ENV:Body><m:telephonyClick2CallDo xmlns:m=")" TINTELLE_SOAP_NAMESPACE
        "\">" +
        value.arg("login", "alice") + value.arg("password", "secret") +
        value.arg("calling", "0123456789") + value.arg("called", called) +
        value.arg("billingNumber", "0123456789") +
        "</m:telephonyClick2CallDo></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
    QCOMPARE(request, expectedWire);
}

QTEST_GUILESS_MAIN(TestWS)
#include "tst_ws.moc"
