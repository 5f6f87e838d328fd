#include "service/ws.h"
#include "tests/support/testprovider.h"
#include "tests/support/testsettings.h"

#include <QEventLoop>
#include <QProcess>
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

// `expected` ending in "*" is a beginning.
bool matches(const QString &text, const QString &expected)
{
    return expected.endsWith('*') ? text.startsWith(expected.chopped(1)) : text == expected;
}

} // namespace

class TestWS : public QObject
{
    Q_OBJECT

    TestProvider provider;
    QTemporaryDir files; // for "endpointca"
    QTcpServer stall;    // listens, never accepts

    // Starts the simulator with the options `simulator` and the stored account, stores `settings`
    // ("%1" in "endpoint" is the simulator, "%2" its port) and places `calls` at once; each is
    // answered once, never from inside click2Call(), with `error` ("" a success), and its
    // connection already closed (`closed` of them by the client) while an error box would show.
    void place(const QString &simulator, QVariantMap settings, const QStringList &calls,
               const QString &error, int closed = 0)
    {
        WS ws; // before the settings: it reads them at each call
        // Only the rows that wait for the deadline shorten it: the others must never race it.
        const bool late = error.contains("n'a pas répondu en 2");
        ws.setDeadline(late ? 2 : WS::callDeadlineSeconds);
        QVERIFY2(provider.start(settings["login"].toString(), settings["password"].toString(),
                                simulator.split(' ', Qt::SkipEmptyParts)),
                 qPrintable(provider.errorString()));
        if (settings.contains("endpoint"))
            settings["endpoint"] = settings["endpoint"]
                                       .toString()
                                       .replace("%1", provider.url())
                                       .replace("%2", provider.url().section(':', -1));
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
            QVERIFY2(result.at(0).toBool() == error.isEmpty() && matches(text, error),
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
        // The whole request, once.
        place({}, account(), {called}, {});
        const QList<QJsonObject> seen = provider.requests();
        QCOMPARE(seen.size(), 1);
        const QString request =
            seen[0]["httpMethod"].toString() + ' ' + seen[0]["path"].toString() + ' ' +
            seen[0]["contentType"].toString() + ' ' + seen[0]["soapAction"].toString() + ' ' +
            seen[0]["connection"].toString() + ' ' + seen[0]["host"].toString() + '\n' +
            seen[0]["body"].toString();
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
    }

    void call_data()
    {
        // What reaches the server of the stored settings and the numbers called ("" as the path:
        // nothing), what the caller is told and what the log says of the certificate (a plain
        // success is the wire test).
        QTest::addColumn<QString>("simulator"); // its options
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<QStringList>("calls"); // placed at once
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("closed"); // connections the client closed first (-1: not looked at)
        QTest::addColumn<QSslError::SslError>("ssl"); // logged (NoError: not looked at)
        const QSslError::SslError ok = QSslError::NoError;
        const QVariantMap nothing{{"endpoint", "%1/"}, {"endpointca", TestProvider::caPath()}};
        const QVariantMap escaped{
            {"login", "é&<b>"}, {"password", "p&ss<wörd>\"' ]]> €\t"}, {"number", " +33 (0)1 "}};
        const QStringList one{called}, two{"0033611111111", "0033622222222"};
        const QString root = "/", success, none;
        QTest::addRow("two calls at once")
            << none << account() << two << root << success << 0 << ok;
        QTest::addRow("nothing stored") << none << nothing << one << root << success << 0 << ok;
        QTest::addRow("what XML escapes")
            << none << account(escaped) << one << root << success << 0 << ok;
        QTest::addRow("path and query")
            << none << account({{"endpoint", "%1/soap/v1?client=tintelle"}}) << one
            << QString("/soap/v1?client=tintelle") << success << 0 << ok;
        QTest::addRow("IPv6 literal") // in brackets in Host, or the simulator refuses it
            << QString("--ipv6") << account({{"endpoint", "https://[::1]:%2/"}}) << one << root
            << success << 0 << ok;
        const QString maybe = " : l'appel a peut-être été lancé.",
                      wait = maybe + " Attendez que votre téléphone sonne avant de réessayer.";
        const QString cut = "La connexion a été coupée après l'envoi de la demande" + wait;
        const QString late = "Le service n'a pas répondu en 2 secondes" + wait;
        const QString unreadable = "Le service d'appel a renvoyé une réponse illisible" + maybe +
                                   " Si votre téléphone ne sonne pas, réessayez dans quelques "
                                   "instants.";
        // The provider's words, with nothing added.
        const QString login = "Identifiant ou mot de passe incorrect";
        const auto answer = [&](const char *name, const QString &options, const QString &error,
                                int closed) {
            QTest::addRow("%s", name)
                << options << account() << one << root << error << closed << ok;
        };
        answer("answered after 4 s", "--delay 4000", success, 0);
        answer("fault at HTTP 500", "--password other", login, 0);
        answer("fault at HTTP 200", "--password other --misbehave fault-status-200", login, 0);
        QTest::addRow("no number: sent, the provider says")
            << none << account() << QStringList{""} << root << "Numéro appelé manquant" << 0 << ok;
        const auto misbehave = [&](const char *how, const QString &error, int closed) {
            answer(how, "--misbehave " + QString(how), error, closed);
        };
        misbehave("unsized", success, 0);
        const QString noReason =
            "Le service a refusé l'appel sans en donner la raison (code : %1).";
        misbehave("empty-faultstring", noReason.arg("SOAP-ENV:Server"), 0);
        misbehave("bare-fault", noReason.arg("aucun"), 0);
        misbehave("long-fault", "Faute longue : ligne 1\nFaute longue : ligne 2*", 0);
        misbehave("not-soap", unreadable, 0);
        misbehave("forbidden", unreadable, 0);
        // The reader's own table has the rest; these need the client's close.
        misbehave("endless", unreadable, 1);
        misbehave("reset", cut, 0);
        misbehave("close-after-request", cut, 0);
        misbehave("drip", late, 1);

        // Calls that end before a request is sent.
        const auto refuse = [](const char *name, const QString &simulator,
                               const QVariantMap &settings, const QString &number,
                               const QString &error, QSslError::SslError ssl = QSslError::NoError) {
            QTest::addRow("%s", name)
                << simulator << settings << QStringList{number} << QString() << error << -1 << ssl;
        };
        const QString network = "Le serveur du service d'appel %1 : vérifiez la connexion au "
                                "réseau, puis réessayez. Aucune demande n'a été envoyée.";
        const QString unsendable = " contient un caractère qui ne peut pas être envoyé : "
                                   "corrigez-le*";
        const QString refused = "Le certificat du serveur du service d'appel a été refusé : la "
                                "connexion n'était pas sûre. Aucune demande n'a été envoyée. Si "
                                "cela se reproduit, prévenez votre administrateur.";
        const QString fifo = files.filePath("fifo");
        QVariantMap noCa = account(), noEndpoint = account();
        noCa.remove("endpointca");
        noEndpoint.remove("endpoint");
        // The kernel completes the connection; nothing ever answers the handshake.
        QVERIFY(stall.isListening() || stall.listen(QHostAddress::LocalHost));
        refuse("self-signed", "--certificate self-signed", account(), called, refused,
               QSslError::SelfSignedCertificate);
        refuse("wrong host", "--certificate wrong-host", account(), called, refused,
               QSslError::HostNameMismatch);
        if (!qEnvironmentVariableIsSet("TINTELLE_WINE_PKI")) // there, the CA is the system's
            refuse("CA not given", none, noCa, called, refused,
                   QSslError::UnableToGetLocalIssuerCertificate);
        refuse("handshake stalled", none,
               account({{"endpoint", u"https://127.0.0.1:%1/"_s.arg(stall.serverPort())}}), called,
               network.arg("n'a pas répondu en 2 secondes"));
        refuse("host not found", none, account({{"endpoint", "https://nowhere.invalid/"}}), called,
               network.arg("est introuvable"));
        refuse("closed at once", "--misbehave close-at-once", account(), called,
               network.arg("est injoignable"));
        refuse("connection refused", none, account({{"endpoint", "https://127.0.0.1:1/"}}), called,
               network.arg("a refusé la connexion"));
        if (QSysInfo::productType() != "windows") { // no FIFO there
            QVERIFY(QFile::exists(fifo) || QProcess::execute("mkfifo", {fifo}) == 0);
            refuse("CA file a FIFO", none, account({{"endpointca", fifo}}), called,
                   "Le fichier de certificats \"" + fifo + "\"*");
        }
        if (QLatin1String(TINTELLE_SOAP_HOST) == QLatin1String(WS::placeholderHost))
            refuse("placeholder host", none, noEndpoint, called,
                   "Ce programme a été construit sans l'adresse du service*");
        refuse("control character", none, account({{"login", "a\x01"}}), called,
               "L'identifiant" + unsendable);
        refuse("lone surrogate", none, account({{"password", QChar(0xd800)}}), called,
               "Le mot de passe" + unsendable);
        refuse("U+FFFF", none, account({{"number", QChar(0xffff)}}), called,
               "Le numéro appelant" + unsendable);
        refuse("called unsendable", none, account(), QChar(0xdc00) + called,
               "Le numéro appelé" + unsendable);
        refuse("U+FFFE", none, account(), called + QChar(0xfffe), "Le numéro appelé" + unsendable);
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

    void endpoint_data()
    {
        // What the stored settings and the host built in make the target, or the error.
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QString>("compiledHost");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        const QString compiled = "provider.test", placeholder = WS::placeholderHost, h = "h.test";
        const QString address = "Adresse du service invalide (réglage \"endpoint\" : *", ok;
        const QString file = "Le fichier de certificats \"%1\" (réglage \"endpointca\") %2 Aucune "
                             "demande n'a été envoyée.";
        const auto at = [](const QString &url) { return QVariantMap{{"endpoint", url}}; };
        const auto bad = [](const QString &name, const QVariantMap &stored, const QString &host,
                            const QString &error) {
            QTest::addRow("%s", qPrintable(name))
                << stored << host << QString() << 0 << QString() << error;
        };
        QTest::addRow("compiled") << QVariantMap() << compiled << compiled << 1664 << "/" << ok;
        QTest::addRow("placeholder, endpoint set")
            << at("https://h.test") << placeholder << h << 443 << "/" << ok;
        QTest::addRow("port and query")
            << at("https://h.test:8443/a%20b?x=1") << compiled << h << 8443 << "/a%20b?x=1" << ok;
        QTest::addRow("path beginning ///")
            << at("https://h.test///x/soap") << compiled << h << 443 << "/x/soap" << ok;
        if (!QFile::exists(TestProvider::caPath())) // made by the first simulator
            QVERIFY(provider.start("alice", "secret"));
        QFile authority(TestProvider::caPath()), bound(files.filePath("bound.pem")),
            big(files.filePath("big.pem"));
        QVERIFY(authority.open(QIODevice::ReadOnly) && bound.open(QIODevice::WriteOnly) &&
                big.open(QIODevice::WriteOnly));
        const QByteArray padded = authority.readAll().leftJustified(WS::maxCaFileSize, '\n');
        QVERIFY(bound.write(padded) && big.write(padded + '\n'));
        QVariantMap ca = at("https://h.test");
        ca["endpointca"] = bound.fileName();
        QTest::addRow("CA at the size bound") << ca << compiled << h << 443 << "/" << ok;
        bad("placeholder", {}, placeholder,
            "Ce programme a été construit sans l'adresse du service d'appel de votre opérateur. "
            "Faites-le reconstruire avec -DTINTELLE_SOAP_HOST=<hôte du service>, ou indiquez "
            "l'adresse du service (https://...) dans le réglage \"endpoint\" du fichier *");
        bad("http", at("http://127.0.0.1:1/"), compiled, address);
        bad("no host", at("https:///soap"), compiled, address);
        QFile(files.filePath("empty.pem")).open(QIODevice::WriteOnly); // empty
        const QList<QPair<QString, QString>> unusable = {
            {"/none/ca.pem",
             "ne peut pas être lu : vérifiez qu'il existe et qu'il vous est lisible."},
            {files.filePath("empty.pem"), "ne contient aucun certificat."},
            {files.path(), "n'est pas un fichier ordinaire."},
            {big.fileName(), "dépasse la taille admise (1 Mio)."},
        };
        for (const auto &[path, what] : unusable) {
            ca["endpointca"] = path;
            bad("CA " + path, ca, compiled, file.arg(path, what));
        }
    }

    void endpoint()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QString, compiledHost);
        QFETCH(QString, error);
        resetSettings(stored);
        const WS::Endpoint target = WS::endpoint(QSettings(), compiledHost);
        QVERIFY2(matches(target.error, error), qPrintable(target.error));
        if (!error.isEmpty())
            return;
        QTEST(target.host, "host");
        QTEST(target.port, "port");
        QTEST(target.path, "path");
        const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
        QVERIFY(!system.isEmpty());
        if (stored.contains("endpointca")) // beside the system's authorities, not instead of them
            QCOMPARE(target.ssl.caCertificates(),
                     system + QSslCertificate::fromPath(TestProvider::caPath()));
        else
            QVERIFY(target.ssl == QSslConfiguration::defaultConfiguration());
    }
};

QTEST_GUILESS_MAIN(TestWS)
#include "tst_ws.moc"
