#include "tests/support/testprovider.h"
#include "tests/support/testsettings.h"
#include "service/ws.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslError>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

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
    QTemporaryDir files; // for "endpointca"

private slots:
    void outcome_data();
    void outcome();
    void endpoint_data();
    void endpoint();
};

void TestWS::outcome_data()
{
    QTest::addColumn<QString>("simulator");  // its options
    QTest::addColumn<QVariantMap>("stored"); // over the account; null removes, %1 is the server
    QTest::addColumn<QStringList>("calls");  // placed at once
    QTest::addColumn<int>("requests");       // that the server saw
    QTest::addColumn<int>("closed");         // connections the client closed before the server
    QTest::addColumn<QString>("error");      // of each call: "" success, "...*" a prefix
    QTest::addColumn<QString>("path");       // that the server saw
    QTest::addColumn<int>("sslError");       // logged

    const auto row = [](const char *name, const char *simulator, const QString &error,
                        int requests = 1, int closed = 0, const QVariantMap &stored = {},
                        const QStringList &calls = {called}, const QString &path = "/",
                        QSslError::SslError ssl = QSslError::NoError) {
        QTest::newRow(name) << simulator << stored << calls << requests << closed << error << path
                            << int(ssl);
    };
    const QString cut = "La connexion a été coupée après l'envoi de la demande : l'appel a "
                        "peut-être été lancé.";
    const QString late = "Le service n'a pas répondu en 2 secondes : l'appel a peut-être été "
                         "lancé.";
    const QString unreadable = "Le service d'appel a renvoyé une réponse illisible : l'appel a "
                               "peut-être été lancé. Si votre téléphone ne sonne pas, réessayez "
                               "dans quelques instants.";
    const QString refused = "Le certificat du serveur du service d'appel a été refusé : la "
                            "connexion n'était pas sûre. Aucune demande n'a été envoyée. Si cela "
                            "se reproduit, prévenez votre administrateur.";
    const QString unsendable = " contient un caractère qui ne peut pas être envoyé.";
    const QString login = "Identifiant ou mot de passe incorrect\nVérifiez l'identifiant et le "
                          "mot de passe dans « Configuration », au menu de l'icône de la zone de "
                          "notification.";
    const QString fifo = files.filePath("fifo");
    ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
    const QVariant none;
    row("success", "", "");
    row("answered after 4 s", "--delay 4000", "");
    row("two calls at once", "", "", 2, 0, {}, {"0033611111111", "0033622222222"});
    row("nothing stored", "", "", 1, 0, {{"login", none}, {"password", none}, {"number", none}});
    row("what XML escapes", "", "", 1, 0,
        {{"login", "é&<b>"}, {"password", "p&ss<wörd>\"' ]]> €\t"}, {"number", " +33 (0)1 "}});
    row("fault at HTTP 500", "--password other", login);
    row("fault at HTTP 200", "--password other --misbehave fault-status-200", login);
    row("empty called", "", "Numéro appelé manquant", 1, 0, {}, {""});
    row("empty faultstring", "--misbehave empty-faultstring",
        "Le service a refusé l'appel sans en donner la raison (code : SOAP-ENV:Server).");
    row("long fault", "--misbehave long-fault", "Faute longue : ligne 1\nFaute longue : ligne 2*");
    row("malformed XML", "--misbehave malformed-xml", unreadable);
    row("not XML", "--misbehave not-xml", unreadable);
    row("not SOAP", "--misbehave not-soap", unreadable);
    row("deep, under the cap", "--misbehave deep", unreadable);
    row("many attributes, under the cap", "--misbehave many-attributes", unreadable);
    row("100 000 deep", "--misbehave deep --size 700000", unreadable);
    row("90 000 attributes", "--misbehave many-attributes --size 800000", unreadable);
    row("huge, unannounced", "--misbehave huge-body-unsized", unreadable, 1, 1);
    row("endless chunked body", "--misbehave endless", unreadable, 1, 1);
    row("header flood", "--misbehave header-flood", unreadable, 1, 1);
    row("endless header line", "--misbehave endless-header", unreadable, 1, 1);
    row("endless status line", "--misbehave endless-status", unreadable, 1, 1);
    row("redirect to a success", "--misbehave redirect", unreadable);
    row("reset after the request", "--misbehave reset", cut);
    row("closed after the request", "--misbehave close-after-request", cut);
    row("silent", "--misbehave silent", late, 1, 1);
    row("drip", "--misbehave drip", late, 1, 1);
    row("connection refused", "",
        "Le serveur du service d'appel a refusé la connexion : vérifiez la connexion au réseau, "
        "puis réessayez. Aucune demande n'a été envoyée.",
        0, 0, {{"endpoint", "https://127.0.0.1:1/"}});
    row("self-signed", "--certificate self-signed", refused, 0, 0, {}, {called}, {},
        QSslError::SelfSignedCertificate);
    row("expired", "--certificate expired", refused, 0, 0, {}, {called}, {},
        QSslError::CertificateExpired);
    row("wrong host", "--certificate wrong-host", refused, 0, 0, {}, {called}, {},
        QSslError::HostNameMismatch);
    row("CA not given", "", refused, 0, 0, {{"endpointca", none}}, {called}, {},
        QSslError::UnableToGetLocalIssuerCertificate);
    row("CA file a FIFO", "", "Le fichier de certificats \"" + fifo + "\"*", 0, 0,
        {{"endpointca", fifo}});
    if (QLatin1String(TINTELLE_SOAP_HOST) == QLatin1String(WS::placeholderHost))
        row("placeholder host", "", "Ce programme a été construit sans l'adresse du service*", 0, 0,
            {{"endpoint", none}});
    row("path and query", "", "", 1, 0, {{"endpoint", "%1/soap/v1?client=tintelle"}}, {called},
        "/soap/v1?client=tintelle");
    row("control character", "", "L'identifiant" + unsendable, 0, 0, {{"login", "a\x01"}});
    row("lone surrogate", "", "Le mot de passe" + unsendable, 0, 0, {{"password", QChar(0xd800)}});
    row("U+FFFF", "", "Le numéro appelant" + unsendable, 0, 0, {{"number", QChar(0xffff)}});
    row("called unsendable", "", "Le numéro appelé" + unsendable, 0, 0, {},
        {QChar(0xdc00) + called});
}

void TestWS::outcome()
{
    QFETCH(QString, simulator);
    QFETCH(QVariantMap, stored);
    QFETCH(QStringList, calls);
    QFETCH(int, requests);
    QFETCH(int, closed);
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
    if (settings.contains("endpoint"))
        settings["endpoint"] = settings["endpoint"].toString().replace("%1", provider.url({}));
    resetSettings(settings);
    sslLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureSslLines);
    const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });

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
    QTRY_COMPARE(provider.closedByClient(), closed);

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

void TestWS::endpoint_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("compiledHost");
    QTest::addColumn<QString>("error"); // "...*" a prefix; empty: the target below
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("withCa"); // the system's authorities and the simulator's

    const auto row = [](const char *name, const QVariantMap &stored, const QString &error,
                        const QString &host = {}, int port = 0, const QString &path = "/",
                        bool withCa = false, const QString &compiled = "provider.test") {
        QTest::newRow(name) << stored << compiled << error << host << port << path << withCa;
    };
    const QString address = "Adresse du service invalide (réglage \"endpoint\" : *";
    const QString file = "Le fichier de certificats \"%1\" (réglage \"endpointca\") %2 Aucune "
                         "demande n'a été envoyée.";
    QFile big(files.filePath("big.pem"));
    QFile(files.filePath("empty.pem")).open(QIODevice::WriteOnly); // empty
    QVERIFY(big.open(QIODevice::WriteOnly) && big.write(QByteArray(WS::maxCaFileSize + 1, '\n')));
    row("compiled", {}, "", "provider.test", 1664);
    row("placeholder", {},
        "Ce programme a été construit sans l'adresse du service d'appel de "
        "votre opérateur. Faites-le reconstruire avec -DTINTELLE_SOAP_HOST=<hôte "
        "du service>, ou indiquez l'adresse du service (https://...) dans le "
        "réglage \"endpoint\" du fichier *",
        {}, 0, {}, false, WS::placeholderHost);
    row("placeholder, endpoint set", {{"endpoint", "https://h.test"}}, "", "h.test", 443, "/",
        false, WS::placeholderHost);
    row("no port", {{"endpoint", "https://h.test/soap"}}, "", "h.test", 443, "/soap");
    row("port and query", {{"endpoint", "https://h.test:8443/a%20b?x=1"}}, "", "h.test", 8443,
        "/a%20b?x=1");
    row("path beginning //", {{"endpoint", "https://h.test//x/soap"}}, "", "h.test", 443,
        "/x/soap");
    row("CA", {{"endpoint", "https://h.test"}, {"endpointca", TestProvider::caPath()}}, "",
        "h.test", 443, "/", true);
    row("http", {{"endpoint", "http://127.0.0.1:1/"}}, address);
    row("no host", {{"endpoint", "https:///soap"}}, address);
    const QList<QPair<QString, QString>> unusable = {
        {"/none/ca.pem", "ne peut pas être lu : vérifiez qu'il existe et qu'il vous est lisible."},
        {files.filePath("empty.pem"), "ne contient aucun certificat."},
        {"/dev/zero", "n'est pas un fichier ordinaire."},
        {files.path(), "n'est pas un fichier ordinaire."},
        {big.fileName(), "dépasse la taille admise (1 Mio)."},
    };
    for (const auto &[path, what] : unusable)
        QTest::addRow("CA %s", qPrintable(path))
            << QVariantMap{{"endpoint", "https://h.test"}, {"endpointca", path}} << "provider.test"
            << file.arg(path, what) << QString() << 0 << QString() << false;
}

void TestWS::endpoint()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QString, compiledHost);
    QFETCH(QString, error);

    if (!QFile::exists(TestProvider::caPath())) // made by the first simulator
        QVERIFY(provider.start());
    resetSettings(stored);
    const WS::Endpoint target = WS::endpoint(QSettings(), compiledHost);
    QVERIFY2(error.endsWith('*') ? target.error.startsWith(error.chopped(1))
                                 : target.error == error,
             qPrintable(target.error));
    if (!error.isEmpty())
        return;
    QTEST(target.host, "host");
    QTEST(target.port, "port");
    QTEST(target.path, "path");
    QFETCH(bool, withCa);
    if (!withCa) {
        QVERIFY(target.ssl == QSslConfiguration::defaultConfiguration());
        return;
    }
    // Beside the system's authorities, not instead of them.
    const QList<QSslCertificate> authorities = target.ssl.caCertificates();
    const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    QVERIFY(!system.isEmpty());
    for (const QSslCertificate &authority :
         system + QSslCertificate::fromPath(TestProvider::caPath()))
        QVERIFY(authorities.contains(authority));
    QCOMPARE(authorities.size(), system.size() + 1);
}

QTEST_GUILESS_MAIN(TestWS)
#include "tst_ws.moc"
