#include "service/ws.h"
#include "tests/support/testprovider.h"
#include "tests/support/testsettings.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslError>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString called = QStringLiteral("0033612345678");

// The account that the simulator accepts, aimed at it ("%1") and its authority, with `changes`.
QVariantMap account(const QVariantMap &changes = {})
{
    QVariantMap settings{{"login", "alice"},
                         {"password", "secret"},
                         {"number", "0123456789"},
                         {"endpoint", "%1/"},
                         {"endpointca", TestProvider::caPath()}};
    settings.insert(changes);
    return settings;
}

} // namespace

class TestWS : public QObject
{
    Q_OBJECT

    TestProvider provider;
    QTemporaryDir files; // for "endpointca"
    QTcpServer stall;    // listens, never accepts

    // Runs the simulator with `simulator`, stores `settings` ("%1": its URL, "%2": its port),
    // places `calls` at once: each answered once, later, with `error` ("" success, "x*" begins with
    // x), its connection closed (`closed` of them by the client) while an error box shows.
    void place(const QString &simulator, QVariantMap settings, const QStringList &calls,
               const QString &error, int closed = 0)
    {
        WS ws; // before the settings: it reads them at each call
        // Only the rows that wait for the deadline shorten it: the others must never race it.
        ws.setDeadline(error.contains("n'a pas répondu en 2") ? 2 : WS::callDeadlineSeconds);
        QVERIFY2(provider.start(settings["login"].toString(), settings["password"].toString(),
                                simulator.split(' ', Qt::SkipEmptyParts)),
                 qPrintable(provider.errorString()));
        const QString url = provider.url();
        if (settings.contains("endpoint"))
            settings["endpoint"] = settings["endpoint"].toString().replace("%1", url).replace(
                "%2", url.section(':', -1));
        resetSettings(settings);
        QSignalSpy results(&ws, &WS::click2CallResult);
        connect(&ws, &WS::click2CallResult, &ws, [&] {
            QEventLoop box; // a loop of its own, as an error box runs
            QTimer poll;
            connect(&poll, &QTimer::timeout, &box, [&] {
                if (provider.closedByClient() >= closed)
                    box.quit();
            });
            poll.start(20);
            QTimer::singleShot(20000, &box, &QEventLoop::quit);
            box.exec();
            QVERIFY(provider.closedByClient() >= closed);
        });
        for (const QString &number : calls)
            ws.click2Call(number);
        QCOMPARE(results.size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), calls.size(), 40000);
        for (const QList<QVariant> &result : results) {
            const QString text = result.at(1).toString();
            QVERIFY2(result.at(0).toBool() == error.isEmpty() &&
                         (error.endsWith('*') ? text.startsWith(error.chopped(1)) : text == error),
                     qPrintable(text));
        }
        if (closed >= 0) // who closes a refused handshake first differs between platforms
            QCOMPARE(provider.closedByClient(), closed);
        // Nothing more: the simulator's log came after each answer.
        QCOMPARE(results.size(), calls.size());
    }

private slots:
    void wire()
    {
        place({}, account(), {called}, {});
        const QList<QJsonObject> seen = provider.requests();
        QCOMPARE(seen.size(), 1);
        QString request;
        for (const char *part : {"httpMethod", "path", "contentType", "soapAction", "connection"})
            request += seen[0][part].toString() + ' ';
        request += seen[0]["host"].toString() + '\n' + seen[0]["body"].toString();
        const QString value = R"(<%1 xsi:type="xsd:string">%2</%1>)";
        const QString expectedWire =
            R"(POST / text/xml;charset=utf-8 "" close )" + provider.url().mid(8) +
            R"(
<?xml version="1.0" encoding="UTF-8"?><SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/" xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/" xmlns:xsi="http://www.w3.org/1999/XMLSchema-instance" xmlns:xsd="http://www.w3.org/1999/XMLSchema" SOAP-ENV:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><SOAP-ENV:Body><m:telephonyClick2CallDo xmlns:m=")" TINTELLE_SOAP_NAMESPACE
            "\">" +
            value.arg("login", "alice") + value.arg("password", "secret") +
            value.arg("calling", "0123456789") + value.arg("called", called) +
            value.arg("billingNumber", "0123456789") +
            "</m:telephonyClick2CallDo></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
        QCOMPARE(request, expectedWire);
        // The stored authority is trusted beside the system's, not instead of them.
        const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
        QVERIFY(!system.isEmpty());
        QCOMPARE(WS::endpoint(QSettings(), {}).ssl.caCertificates(),
                 system + QSslCertificate::fromPath(TestProvider::caPath()));
        // Without "endpoint", the host built in, on its port.
        resetSettings();
        const WS::Endpoint built = WS::endpoint(QSettings(), "h.test");
        QCOMPARE(u"%1:%2%3"_s.arg(built.host).arg(built.port).arg(built.path), "h.test:1664/");
    }

    void call_data()
    {
        // What reaches the server ("" as the path: nothing), what the caller is told and logged.
        QTest::addColumn<QString>("simulator"); // its options
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<QStringList>("calls"); // placed at once
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("closed"); // connections the client closed first (-1: not looked at)
        QTest::addColumn<QSslError::SslError>("ssl"); // logged (NoError: not looked at)
        const QSslError::SslError ok = QSslError::NoError;
        const QString success, none;
        if (!QFile::exists(TestProvider::caPath())) // made by the first simulator
            QVERIFY(provider.start("alice", "secret"));
        QFile authority(TestProvider::caPath());
        QVERIFY(authority.open(QIODevice::ReadOnly));
        const QByteArray padded = authority.readAll().leftJustified(WS::maxCaFileSize, '\n');
        const std::initializer_list<std::pair<const char *, QByteArray>> made{
            {"bound.pem", padded}, {"big.pem", padded + '\n'}, {"empty.pem", {}}};
        for (const auto &[name, content] : made) {
            QFile file(files.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        }

        const auto answer = [&](const char *name, const QString &options, const QString &error,
                                int closed = 0, const QVariantMap &settings = account(),
                                const QStringList &calls = {called}, const QString &path = "/") {
            QTest::addRow("%s", name)
                << options << settings << calls << path << error << closed << ok;
        };
        const QVariantMap escaped{{"login", "é&<b>"}, {"password", "p&ss<wörd>\"' ]]> €\t"}};
        answer("two calls at once", none, success, 0, account(escaped),
               {"0033611111111", "0033622222222"});
        answer("path made one, encoded, query", "--delay 4000", success, 0,
               account({{"endpoint", "%1///soap%C3%A9?client=tintelle"}, {"number", " +33 (0)1 "}}),
               {called}, "/soap%C3%A9?client=tintelle");
        answer("CA at the size bound", none, success, 0,
               account({{"endpointca", files.filePath("bound.pem")}}));
        // In brackets in Host, or the simulator refuses it.
        answer("IPv6 literal", "--ipv6", success, 0, account({{"endpoint", "https://[::1]:%2/"}}));
        const QString maybe = " : l'appel a peut-être été lancé.",
                      wait = maybe + " Attendez que votre téléphone sonne avant de réessayer.";
        const QString cut = "La connexion a été coupée après l'envoi de la demande" + wait;
        const QString unreadable = "Le service d'appel a renvoyé une réponse illisible" + maybe +
                                   " Si votre téléphone ne sonne pas, réessayez dans quelques "
                                   "instants.";
        // The provider's words, with nothing added.
        answer("fault at HTTP 500", "--password other", "Identifiant ou mot de passe incorrect");
        answer("no number: sent, the provider says", none, "Numéro appelé manquant", 0, account(),
               {""});
        const auto misbehave = [&](const char *how, const QString &error, int closed = 0) {
            answer(how, "--misbehave " + QString(how), error, closed);
        };
        misbehave("unsized", success);
        const QString noReason =
            "Le service a refusé l'appel sans en donner la raison (code : %1).";
        misbehave("empty-faultstring", noReason.arg("SOAP-ENV:Server"));
        misbehave("bare-fault", noReason.arg("aucun"));
        misbehave("long-fault", "Faute longue : ligne 1\nFaute longue : ligne 2*");
        misbehave("not-soap", unreadable);
        misbehave("forbidden", unreadable);
        // The reader's own table has the rest; these need the client's close.
        misbehave("endless", unreadable, 1);
        misbehave("reset", cut);
        misbehave("close-after-request", cut);
        misbehave("drip", "Le service n'a pas répondu en 2 secondes" + wait, 1);

        // Calls that end before a request is sent.
        const auto refuse = [](const QString &name, const QVariantMap &settings,
                               const QString &error, const QString &simulator = {},
                               QSslError::SslError ssl = QSslError::NoError,
                               const QString &number = called) {
            QTest::addRow("%s", qPrintable(name))
                << simulator << settings << QStringList{number} << QString() << error << -1 << ssl;
        };
        const QString network = "Le serveur du service d'appel %1 : vérifiez la connexion au "
                                "réseau, puis réessayez. Aucune demande n'a été envoyée.";
        const QString unsendable = " contient un caractère qui ne peut pas être envoyé : "
                                   "corrigez-le*";
        const QString refused = "Le certificat du serveur du service d'appel a été refusé : la "
                                "connexion n'était pas sûre. Aucune demande n'a été envoyée. Si "
                                "cela se reproduit, prévenez votre administrateur.";
        QVariantMap noCa = account(), noEndpoint = account();
        noCa.remove("endpointca");
        noEndpoint.remove("endpoint");
        // The kernel completes the connection; nothing ever answers the handshake.
        QVERIFY(stall.isListening() || stall.listen(QHostAddress::LocalHost));
        refuse("self-signed", account(), refused, "--certificate self-signed",
               QSslError::SelfSignedCertificate);
        refuse("wrong host", account(), refused, "--certificate wrong-host",
               QSslError::HostNameMismatch);
        if (!qEnvironmentVariableIsSet("TINTELLE_WINE_PKI")) // there, the CA is the system's
            refuse("CA not given", noCa, refused, none,
                   QSslError::UnableToGetLocalIssuerCertificate);
        refuse("handshake stalled",
               account({{"endpoint", u"https://127.0.0.1:%1/"_s.arg(stall.serverPort())}}),
               network.arg("n'a pas répondu en 2 secondes"));
        refuse("host not found", account({{"endpoint", "https://nowhere.invalid/"}}),
               network.arg("est introuvable"));
        refuse("closed at once", account(), network.arg("est injoignable"),
               "--misbehave close-at-once");
        refuse("connection refused", account({{"endpoint", "https://127.0.0.1:1/"}}),
               network.arg("a refusé la connexion"));
        if (QLatin1String(TINTELLE_SOAP_HOST) == QLatin1String(WS::placeholderHost))
            refuse("placeholder host", noEndpoint,
                   "Ce programme a été construit sans l'adresse du service d'appel de votre "
                   "opérateur. Faites-le reconstruire avec -DTINTELLE_SOAP_HOST=<hôte du "
                   "service>, ou indiquez l'adresse du service (https://...) dans le réglage "
                   "\"endpoint\" du fichier *");
        for (const QString url : {"http://127.0.0.1:1/", "https:///soap"})
            refuse(url, account({{"endpoint", url}}),
                   "Adresse du service invalide (réglage \"endpoint\" : \"" + url +
                       "\") : une adresse https:// est attendue. Aucune demande n'a été envoyée.");
        const std::initializer_list<std::tuple<const char *, QString, const char *>> unusable{
            {"CA missing", "/none/ca.pem",
             "ne peut pas être lu : vérifiez qu'il existe et qu'il vous est lisible."},
            {"CA empty", files.filePath("empty.pem"), "ne contient aucun certificat."},
            {"CA a folder", files.path(), "n'est pas un fichier ordinaire."},
            {"CA over the bound", files.filePath("big.pem"), "dépasse la taille admise (1 Mio)."}};
        for (const auto &[name, path, what] : unusable)
            refuse(name, account({{"endpointca", path}}),
                   "Le fichier de certificats \"" + path + "\" (réglage \"endpointca\") " + what +
                       " Aucune demande n'a été envoyée.");
        refuse("control character", account({{"login", "a\x01"}}), "L'identifiant" + unsendable);
        refuse("lone surrogate", account({{"password", QChar(0xd800)}}),
               "Le mot de passe" + unsendable);
        refuse("U+FFFF", account({{"number", QChar(0xffff)}}), "Le numéro appelant" + unsendable);
        refuse("called unsendable", account(), "Le numéro appelé" + unsendable, none, ok,
               QChar(0xdc00) + called);
        refuse("U+FFFE", account(), "Le numéro appelé" + unsendable, none, ok,
               called + QChar(0xfffe));
    }

    void call()
    {
        QFETCH(QString, simulator);
        QFETCH(QVariantMap, settings);
        QFETCH(QStringList, calls);
        QFETCH(QString, path);
        QFETCH(QString, error);
        QFETCH(int, closed);
        QFETCH(QSslError::SslError, ssl);
        const QString logged = QRegularExpression::escape(QSslError(ssl).errorString());
        if (ssl != QSslError::NoError) // logged, not ignored
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^SSL error: .*" + logged));
        place(simulator, settings, calls, error, closed);
        const QList<QJsonObject> seen = provider.requests();
        QCOMPARE(seen.size(), path.isEmpty() ? 0 : calls.size());
        for (const QJsonObject &request : seen) {
            QVERIFY(calls.contains(request["called"].toString()));
            QCOMPARE(request["path"].toString(), path);
        }
    }
};

QTEST_GUILESS_MAIN(TestWS)
#include "tst_ws.moc"
