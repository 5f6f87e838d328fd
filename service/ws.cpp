#include "ws.h"

#include "service/settingskeys.h"
#include "service/providerconfig.h"

#include <QDebug>
#include <QFile>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QTimer>
#include <QUrl>

namespace {

const QString defaultHost = QStringLiteral(TINTELLE_SOAP_HOST);
constexpr int defaultPort = 1664;
const QString methodName = QStringLiteral("telephonyClick2CallDo");
const QString methodNamespace = QStringLiteral(TINTELLE_SOAP_NAMESPACE);

} // namespace

WS::WS(QObject *parent) : QObject(parent)
{
    transport.setDeadline(callDeadlineSeconds);
    connect(&transport, &SoapHttpTransport::responseReady, this, &WS::wsResponse);
    // Once per client: connecting per request would repeat every log line.
    connect(transport.networkAccessManager(), &QNetworkAccessManager::sslErrors, this,
            &WS::sslErrors);
}

WS::~WS() = default;

void WS::setDeadline(int seconds)
{
    transport.setDeadline(seconds);
}

void WS::click2Call(const QString &called)
{
    QString error;
    const QString path = aimTransport(&error);
    if (path.isNull()) {
        failLater(error);
        return;
    }

    const QString login = settings.value(SettingsKey::login).toString();
    const QString password = settings.value(SettingsKey::password).toString();
    const QString number = settings.value(SettingsKey::number).toString();
    const QList<QPair<QString, QString>> checked = {
        {login, tr("L'identifiant contient un caractère qui ne peut pas être envoyé.")},
        {password, tr("Le mot de passe contient un caractère qui ne peut pas être envoyé.")},
        {number, tr("Le numéro appelant contient un caractère qui ne peut pas être envoyé.")},
        {called, tr("Le numéro appelé contient un caractère qui ne peut pas être envoyé.")},
    };
    for (const auto &[value, refusal] : checked) {
        if (!SoapMessage::isXmlText(value)) {
            failLater(refusal);
            return;
        }
    }

    SoapMessage message;
    message.setMethod(methodName, methodNamespace);
    message.addMethodArgument(QStringLiteral("login"), QString(), login);
    message.addMethodArgument(QStringLiteral("password"), QString(), password);
    message.addMethodArgument(QStringLiteral("calling"), QString(), number);
    message.addMethodArgument(QStringLiteral("called"), QString(), called);
    message.addMethodArgument(QStringLiteral("billingNumber"), QString(), number);
    if (!transport.submitRequest(message, path))
        failLater(tr("La demande n'a pas pu être écrite. Aucune requête n'a été envoyée."));
}

QString WS::aimTransport(QString *error)
{
    if (!settings.contains(SettingsKey::endpoint)) {
        transport.setHost(defaultHost, defaultPort);
        return QStringLiteral("/");
    }
    const QString value = settings.value(SettingsKey::endpoint).toString();
    const QUrl endpoint(value, QUrl::StrictMode);
    // The password must never travel in clear, nor to a half-understood address.
    if (!endpoint.isValid() || endpoint.scheme() != QLatin1String("https") ||
        endpoint.host().isEmpty()) {
        *error = tr("Adresse du service invalide (réglage \"endpoint\" : \"%1\") : une adresse "
                    "https:// est attendue. Aucune requête n'a été envoyée.")
                     .arg(value);
        return QString();
    }

    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    if (settings.contains(SettingsKey::endpointCa)) {
        const QString caPath = settings.value(SettingsKey::endpointCa).toString();
        QFile file(caPath);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = tr("Le fichier de certificats \"%1\" (réglage \"endpointca\") ne peut pas "
                        "être lu : %2. Aucune requête n'a été envoyée.")
                         .arg(caPath, file.errorString());
            return QString();
        }
        const QList<QSslCertificate> authorities = QSslCertificate::fromData(file.readAll());
        if (authorities.isEmpty()) {
            *error = tr("Le fichier de certificats \"%1\" (réglage \"endpointca\") ne contient "
                        "aucun certificat. Aucune requête n'a été envoyée.")
                         .arg(caPath);
            return QString();
        }
        // For this request only, and beside the system's authorities, not instead of them.
        ssl.setCaCertificates(QSslConfiguration::systemCaCertificates() + authorities);
    }
    transport.setHost(endpoint.host(), endpoint.port(443), ssl);

    QString path = endpoint.path(QUrl::FullyEncoded);
    if (path.isEmpty())
        path = QStringLiteral("/");
    if (endpoint.hasQuery())
        path += QLatin1Char('?') + endpoint.query(QUrl::FullyEncoded);
    return path;
}

void WS::failLater(const QString &error)
{
    // Queued like any reply, so that callers never see the result inside click2Call().
    QTimer::singleShot(0, this, [this, error] { emit click2CallResult(false, error); });
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
