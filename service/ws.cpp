#include "ws.h"

#include <QCoreApplication>
#include <QDebug>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

namespace {

const QString defaultHost = QStringLiteral(TINTELLE_SOAP_HOST);
constexpr int defaultPort = 1664;
const QString methodName = QStringLiteral("telephonyClick2CallDo");
const QString methodNamespace = QStringLiteral(TINTELLE_SOAP_NAMESPACE);

} // namespace

WS::WS(QObject *parent)
    : QObject(parent),
      settings(QCoreApplication::organizationName(), QCoreApplication::applicationName())
{
    transport.setHost(defaultHost, true, defaultPort);
    connect(&transport, &SoapHttpTransport::responseReady, this, &WS::wsResponse);
    // Once per client: connecting per request would repeat every log line.
    connect(transport.networkAccessManager(), &QNetworkAccessManager::sslErrors, this,
            &WS::sslErrors);
}

WS::~WS() = default;

void WS::click2Call(const QString &called)
{
    QString path = QStringLiteral("/");
    const QString endpointKey = QStringLiteral("endpoint");
    if (settings.contains(endpointKey)) {
        const QString value = settings.value(endpointKey, QVariant()).toString();
        const QUrl endpoint(value, QUrl::StrictMode);
        // The password must never travel in clear, nor to a half-understood address.
        if (!endpoint.isValid() || endpoint.scheme() != QLatin1String("https") ||
            endpoint.host().isEmpty()) {
            const QString error =
                tr("Adresse du service invalide (réglage \"endpoint\" : \"%1\") : une adresse "
                   "https:// est attendue. Aucune requête n'a été envoyée.")
                    .arg(value);
            // Queued like any reply, so that callers never see the result inside click2Call().
            QTimer::singleShot(0, this, [this, error] { emit click2CallResult(false, error); });
            return;
        }
        transport.setHost(endpoint.host(), true, endpoint.port(443));
        if (!endpoint.path().isEmpty())
            path = endpoint.path(QUrl::FullyEncoded);
        if (endpoint.hasQuery())
            path += QLatin1Char('?') + endpoint.query(QUrl::FullyEncoded);
    } else {
        transport.setHost(defaultHost, true, defaultPort);
    }

    const auto stored = [this](const char *key) {
        return settings.value(QLatin1String(key), QVariant()).toString();
    };
    SoapMessage message;
    message.setMethod(methodName, methodNamespace);
    message.addMethodArgument(QStringLiteral("login"), QString(), stored("login"));
    message.addMethodArgument(QStringLiteral("password"), QString(), stored("password"));
    message.addMethodArgument(QStringLiteral("calling"), QString(), stored("number"));
    message.addMethodArgument(QStringLiteral("called"), QString(), called);
    message.addMethodArgument(QStringLiteral("billingNumber"), QString(), stored("number"));
    transport.submitRequest(message, path);
}

void WS::wsResponse()
{
    const SoapMessage &response = transport.getResponse();
    const QString fault = response.faultString();
    if (!fault.isEmpty()) {
        emit click2CallResult(false, fault);
    } else if (response.isFault()) {
        // A refusal without a reason is still a refusal.
        const QString code = response.faultCode();
        emit click2CallResult(false, tr("Le service a refusé l'appel sans en donner la raison "
                                        "(code : %1).")
                                         .arg(code.isEmpty() ? tr("aucun") : code));
    } else {
        emit click2CallResult(true, QString());
    }
}

void WS::sslErrors(QNetworkReply *qnr, const QList<QSslError> &errlist)
{
    Q_UNUSED(qnr)
    // Logged, not ignored: the handshake then fails and the call reports a transport error.
    for (const QSslError &error : errlist) {
        if (error != QSslError(QSslError::NoError))
            qDebug() << "SSL error:" << error;
    }
}
