#include "ws.h"

#include "service/providerconfig.h"
#include "service/regularfile.h"
#include "service/settingskeys.h"

#include <QDebug>
#include <QSslCertificate>
#include <QTimer>
#include <QUrl>

namespace {

const QString defaultHost = QStringLiteral(TINTELLE_SOAP_HOST);
constexpr int defaultPort = 1664;
const QString methodName = QStringLiteral("telephonyClick2CallDo");
const QString methodNamespace = QStringLiteral(TINTELLE_SOAP_NAMESPACE);

// What the user reads when a call fails on the way, by failure class.
QString failureText(SoapHttpTransport::Failure failure, int deadlineSeconds)
{
    using F = SoapHttpTransport::Failure;
    const QString checkNetwork =
        WS::tr(" : vérifiez la connexion au réseau, puis réessayez. Aucune demande n'a été "
               "envoyée.");
    switch (failure) {
    case F::None:
        break;
    case F::HostNotFound:
        return WS::tr("Le serveur du service d'appel est introuvable") + checkNetwork;
    case F::ConnectionRefused:
        return WS::tr("Le serveur du service d'appel a refusé la connexion") + checkNetwork;
    case F::Unreachable:
        return WS::tr("Le serveur du service d'appel est injoignable") + checkNetwork;
    case F::SecureChannel:
        return WS::tr("La connexion sécurisée au service d'appel n'a pas pu être établie") +
               checkNetwork;
    case F::ConnectDeadline:
        return WS::tr("Le serveur du service d'appel n'a pas répondu en %1 secondes")
                   .arg(deadlineSeconds) +
               checkNetwork;
    case F::Certificate:
        return WS::tr("Le certificat du serveur du service d'appel a été refusé : la connexion "
                      "n'était pas sûre. Aucune demande n'a été envoyée. Si cela se reproduit, "
                      "prévenez votre administrateur.");
    case F::ConnectionLost:
        return WS::tr("La connexion a été coupée après l'envoi de la demande : l'appel a "
                      "peut-être été lancé. Attendez que votre téléphone sonne avant de "
                      "réessayer.");
    case F::Unreadable:
        return WS::tr("Le service d'appel a renvoyé une réponse illisible : l'appel a peut-être "
                      "été lancé. Si votre téléphone ne sonne pas, réessayez dans quelques "
                      "instants.");
    case F::Deadline:
        return WS::tr("Le service n'a pas répondu en %1 secondes : l'appel a peut-être été "
                      "lancé. Attendez que votre téléphone sonne avant de réessayer.")
            .arg(deadlineSeconds);
    }
    return QString();
}

// The certificate authorities of `path`, or an error.
QList<QSslCertificate> readAuthorities(const QString &path, QString *error)
{
    const QString file =
        WS::tr("Le fichier de certificats \"%1\" (réglage \"endpointca\") ").arg(path);
    const QString nothingSent = WS::tr(" Aucune demande n'a été envoyée.");
    QByteArray pem;
    switch (RegularFile::read(path, WS::maxCaFileSize, &pem)) {
    case RegularFile::Status::Read:
        break;
    case RegularFile::Status::Unreadable:
        *error = file +
                 WS::tr("ne peut pas être lu : vérifiez qu'il existe et qu'il vous est "
                        "lisible.") +
                 nothingSent;
        return {};
    case RegularFile::Status::NotRegular:
        *error = file + WS::tr("n'est pas un fichier ordinaire.") + nothingSent;
        return {};
    case RegularFile::Status::TooLarge:
        *error = file + WS::tr("dépasse la taille admise (1 Mio).") + nothingSent;
        return {};
    }
    const QList<QSslCertificate> authorities = QSslCertificate::fromData(pem);
    if (authorities.isEmpty())
        *error = file + WS::tr("ne contient aucun certificat.") + nothingSent;
    return authorities;
}

} // namespace

WS::WS(QObject *parent) : QObject(parent)
{
    transport.setDeadline(callDeadlineSeconds);
    connect(&transport, &SoapHttpTransport::responseReady, this, &WS::wsResponse);
    // Once per client: connecting per request would repeat every log line.
    connect(&transport, &SoapHttpTransport::sslErrors, this, &WS::sslErrors);
}

WS::~WS() = default;

void WS::setDeadline(int seconds)
{
    transport.setDeadline(seconds);
}

void WS::click2Call(const QString &called)
{
    const Endpoint target = endpoint(settings, defaultHost);
    if (!target.error.isEmpty()) {
        failLater(target.error);
        return;
    }

    const QString login = settings.value(SettingsKey::login).toString();
    const QString password = settings.value(SettingsKey::password).toString();
    const QString number = settings.value(SettingsKey::number).toString();
    const QString fix = tr(" : corrigez-le dans « Configuration », au menu de l'icône de la "
                           "zone de notification. Aucune demande n'a été envoyée.");
    const QList<QPair<QString, QString>> checked = {
        {login, tr("L'identifiant contient un caractère qui ne peut pas être envoyé") + fix},
        {password, tr("Le mot de passe contient un caractère qui ne peut pas être envoyé") + fix},
        {number, tr("Le numéro appelant contient un caractère qui ne peut pas être envoyé") + fix},
        {called, tr("Le numéro appelé contient un caractère qui ne peut pas être envoyé : "
                    "corrigez-le. Aucune demande n'a été envoyée.")},
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
    transport.setHost(target.host, target.port, target.ssl);
    if (!transport.submitRequest(message, target.path))
        failLater(tr("La demande n'a pas pu être préparée : aucune demande n'a été envoyée. "
                     "Prévenez votre administrateur."));
}

bool WS::knowsProvider(const QSettings &settings)
{
    return defaultHost != QLatin1String(placeholderHost) ||
           settings.contains(SettingsKey::endpoint);
}

WS::Endpoint WS::endpoint(const QSettings &settings, const QString &compiledHost)
{
    Endpoint target;
    target.ssl = QSslConfiguration::defaultConfiguration();
    if (!settings.contains(SettingsKey::endpoint)) {
        if (compiledHost == QLatin1String(placeholderHost)) {
            target.error =
                tr("Ce programme a été construit sans l'adresse du service d'appel de votre "
                   "opérateur. Faites-le reconstruire avec -DTINTELLE_SOAP_HOST=<hôte du "
                   "service>, ou indiquez l'adresse du service (https://...) dans le réglage "
                   "\"endpoint\" du fichier %1. Aucune demande n'a été envoyée.")
                    .arg(settings.fileName());
        }
        target.host = compiledHost;
        target.port = defaultPort;
        target.path = QStringLiteral("/");
        return target;
    }
    const QString value = settings.value(SettingsKey::endpoint).toString();
    const QUrl url(value, QUrl::StrictMode);
    // The password must never travel in clear, nor to a half-understood address.
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty()) {
        target.error = tr("Adresse du service invalide (réglage \"endpoint\" : \"%1\") : une "
                          "adresse https:// est attendue. Aucune demande n'a été envoyée.")
                           .arg(value);
        return target;
    }
    if (settings.contains(SettingsKey::endpointCa)) {
        const QList<QSslCertificate> authorities =
            readAuthorities(settings.value(SettingsKey::endpointCa).toString(), &target.error);
        if (!target.error.isEmpty())
            return target;
        // For this endpoint only, and beside the system's authorities, not instead of them.
        target.ssl.setCaCertificates(QSslConfiguration::systemCaCertificates() + authorities);
    }
    target.host = url.host();
    target.port = url.port(443);
    // Leading slashes made one, so that the first segment is never read as a host.
    target.path = url.path(QUrl::FullyEncoded);
    while (target.path.startsWith(QLatin1String("//")))
        target.path.remove(0, 1);
    if (target.path.isEmpty())
        target.path = QStringLiteral("/");
    if (url.hasQuery())
        target.path += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
    return target;
}

void WS::failLater(const QString &error)
{
    // Queued like any reply, so that callers never see the result inside click2Call().
    QTimer::singleShot(0, this, [this, error] { emit click2CallResult(false, error); });
}

void WS::wsResponse(const SoapHttpTransport::Reply &reply)
{
    if (reply.failure != SoapHttpTransport::Failure::None) {
        qWarning().noquote() << "Call failed:" << reply.detail;
        emit click2CallResult(false, failureText(reply.failure, transport.deadline()));
        return;
    }
    const QString fault = reply.message.faultString();
    if (!fault.isEmpty()) {
        emit click2CallResult(false, fault);
    } else if (reply.message.isFault()) {
        // A refusal without a reason is still a refusal.
        const QString code = reply.message.faultCode();
        emit click2CallResult(false, tr("Le service a refusé l'appel sans en donner la raison "
                                        "(code : %1).")
                                         .arg(code.isEmpty() ? tr("aucun") : code));
    } else {
        emit click2CallResult(true, QString());
    }
}

void WS::sslErrors(const QList<QSslError> &errlist)
{
    // Logged, not ignored: the handshake then fails and the call reports a refused certificate.
    for (const QSslError &error : errlist) {
        if (error != QSslError(QSslError::NoError))
            qDebug() << "SSL error:" << error;
    }
}
