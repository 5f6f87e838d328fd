#include "providerserver.h"

#include "namedvalues.h"
#include "providersession.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTextStream>
#include <cstdio>

namespace {

const NamedValues<ProviderServer::Misbehaviour> &misbehaviours()
{
    using M = ProviderServer::Misbehaviour;
    static const NamedValues<M> list = {
        {QStringLiteral("none"), M::None},
        {QStringLiteral("malformed-xml"), M::MalformedXml},
        {QStringLiteral("not-xml"), M::NotXml},
        {QStringLiteral("not-soap"), M::NotSoapEnvelope},
        {QStringLiteral("empty-faultstring"), M::EmptyFaultString},
        {QStringLiteral("fault-status-200"), M::FaultStatus200},
        {QStringLiteral("bare-fault"), M::BareFault},
        {QStringLiteral("forbidden"), M::Forbidden},
        {QStringLiteral("huge-body"), M::HugeBody},
        {QStringLiteral("huge-body-unsized"), M::HugeBodyUnsized},
        {QStringLiteral("reset"), M::Reset},
        {QStringLiteral("close-after-request"), M::CloseAfterRequest},
        {QStringLiteral("silent"), M::Silent},
        {QStringLiteral("drip"), M::Drip},
        {QStringLiteral("deep"), M::Deep},
        {QStringLiteral("many-attributes"), M::ManyAttributes},
        {QStringLiteral("long-fault"), M::LongFault},
        {QStringLiteral("redirect"), M::Redirect},
        {QStringLiteral("header-flood"), M::HeaderFlood},
        {QStringLiteral("endless-header"), M::EndlessHeader},
        {QStringLiteral("endless-status"), M::EndlessStatus},
        {QStringLiteral("endless"), M::Endless},
        {QStringLiteral("unsized"), M::Unsized},
        {QStringLiteral("close-at-once"), M::CloseAtOnce},
    };
    return list;
}

QByteArray readFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return {};
    }
    return file.readAll();
}

} // namespace

ProviderServer::ProviderServer(const Options &options, QObject *parent)
    : QObject(parent), opts(options)
{
    connect(&server, &QTcpServer::pendingConnectionAvailable, this,
            &ProviderServer::acceptConnections);
    connect(&server, &QSslServer::errorOccurred, this,
            [this](QSslSocket *, QAbstractSocket::SocketError error) {
                debug(QStringLiteral("connection error %1").arg(int(error)));
            });
    connect(&server, &QSslServer::handshakeInterruptedOnError, this,
            [this](QSslSocket *, const QSslError &error) {
                debug(QStringLiteral("handshake interrupted: %1").arg(error.errorString()));
            });
    // Before anything of the client's is read, as a front end without a back end does.
    if (opts.misbehaviour == Misbehaviour::CloseAtOnce)
        connect(&server, &QSslServer::startedEncryptionHandshake, this, [](QSslSocket *socket) {
            socket->abort();
            socket->deleteLater();
        });
    connect(&server, &QSslServer::alertReceived, this,
            [this](QSslSocket *, QSsl::AlertLevel, QSsl::AlertType, const QString &text) {
                debug(QStringLiteral("TLS alert from client: %1").arg(text));
            });
}

bool ProviderServer::listen(quint16 port, const QString &certificatePath, const QString &keyPath,
                            QString *error)
{
    const QByteArray certificatePem = readFile(certificatePath, error);
    if (certificatePem.isEmpty()) {
        if (error->isEmpty())
            *error = QStringLiteral("%1 is empty").arg(certificatePath);
        return false;
    }
    const QByteArray keyPem = readFile(keyPath, error);
    if (keyPem.isEmpty()) {
        if (error->isEmpty())
            *error = QStringLiteral("%1 is empty").arg(keyPath);
        return false;
    }

    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificatePem, QSsl::Pem);
    if (chain.isEmpty()) {
        *error = QStringLiteral("no PEM certificate in %1").arg(certificatePath);
        return false;
    }
    QSslKey key(keyPem, QSsl::Ec, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull()) {
        *error = QStringLiteral("no EC or RSA private key in %1").arg(keyPath);
        return false;
    }

    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    server.setSslConfiguration(configuration);

    if (!server.listen(opts.ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost, port)) {
        *error = server.errorString();
        return false;
    }
    return true;
}

quint16 ProviderServer::port() const
{
    return server.serverPort();
}

void ProviderServer::acceptConnections()
{
    while (server.hasPendingConnections()) {
        auto *socket = qobject_cast<QSslSocket *>(server.nextPendingConnection());
        if (socket)
            new ProviderSession(socket, this);
    }
}

void ProviderServer::logRequest(const QJsonObject &entry)
{
    if (opts.logPath.isEmpty())
        return;
    QFile log(opts.logPath);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        debug(QStringLiteral("cannot write %1: %2").arg(opts.logPath, log.errorString()));
        return;
    }
    log.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
}

void ProviderServer::debug(const QString &message) const
{
    if (opts.verbose)
        std::fprintf(stderr, "provider-sim: %s\n", qUtf8Printable(message));
}

bool ProviderServer::misbehaviourFromName(const QString &name, Misbehaviour *misbehaviour)
{
    return valueFromName(misbehaviours(), name, misbehaviour);
}

QStringList ProviderServer::misbehaviourNames()
{
    return valueNames(misbehaviours());
}
