#include "providerpki.h"

#include "namedvalues.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QPair>
#include <QProcess>

namespace {

const char config[] = R"([req]
distinguished_name = dn
prompt = no
[dn]
CN = Tintelle provider simulator
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost,IP:127.0.0.1,IP:::1
[wrong]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:wrong-host.example
)";

const NamedValues<ProviderPki::Kind> &kinds()
{
    using K = ProviderPki::Kind;
    static const NamedValues<K> list = {{QStringLiteral("valid"), K::Valid},
                                        {QStringLiteral("self-signed"), K::SelfSigned},
                                        {QStringLiteral("expired"), K::Expired},
                                        {QStringLiteral("wrong-host"), K::WrongHost}};
    return list;
}

} // namespace

QString ProviderPki::path(const QString &name) const
{
    return QDir(dir).filePath(name);
}

QString ProviderPki::certificatePath(Kind kind) const
{
    for (const auto &entry : kinds()) {
        if (entry.second == kind)
            return path(kind == Kind::Valid ? QStringLiteral("server.pem")
                                            : entry.first + QStringLiteral(".pem"));
    }
    return {};
}

QString ProviderPki::keyPath() const
{
    return path(QStringLiteral("server.key"));
}

bool ProviderPki::kindFromName(const QString &name, Kind *kind)
{
    return valueFromName(kinds(), name, kind);
}

QStringList ProviderPki::kindNames()
{
    return valueNames(kinds());
}

bool ProviderPki::ensure(QString *error) const
{
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    QLockFile lock(path(QStringLiteral(".pki.lock")));
    if (!lock.lock()) {
        *error = QStringLiteral("cannot lock %1").arg(dir);
        return false;
    }
    return QFile::exists(path(QStringLiteral("ca.pem"))) || generate(error);
}

bool ProviderPki::openssl(const QStringList &arguments, QString *error) const
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        *error = QStringLiteral("openssl %1 failed: %2 %3")
                     .arg(arguments.join(QLatin1Char(' ')), process.errorString(),
                          QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool ProviderPki::generate(QString *error) const
{
    QFile cnf(path(QStringLiteral("openssl.cnf")));
    if (!cnf.open(QIODevice::WriteOnly) || cnf.write(config) < 0) {
        *error = QStringLiteral("cannot write in %1").arg(dir);
        return false;
    }
    cnf.close();

    const auto request = [&](const QString &subject, const QString &out) {
        return openssl({QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-config"),
                        QStringLiteral("openssl.cnf"), QStringLiteral("-key"),
                        QStringLiteral("server.key"), QStringLiteral("-subj"), subject,
                        QStringLiteral("-out"), out},
                       error);
    };
    const auto sign = [&](const QString &csr, const QString &extensions, const QString &days,
                          const QString &out) {
        return openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), csr,
                        QStringLiteral("-CA"), QStringLiteral("ca.tmp"), QStringLiteral("-CAkey"),
                        QStringLiteral("ca.key"), QStringLiteral("-days"), days,
                        QStringLiteral("-extfile"), QStringLiteral("openssl.cnf"),
                        QStringLiteral("-extensions"), extensions, QStringLiteral("-out"), out},
                       error);
    };
    const auto selfSigned = [&](const QStringList &key, const QString &subject,
                                const QString &extensions, const QString &out) {
        return openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509"),
                                   QStringLiteral("-config"), QStringLiteral("openssl.cnf"),
                                   QStringLiteral("-days"), QStringLiteral("3650"),
                                   QStringLiteral("-subj"), subject, QStringLiteral("-extensions"),
                                   extensions, QStringLiteral("-out"), out}
                           << key,
                       error);
    };
    const QString csr = QStringLiteral("server.csr");
    const QString wrongCsr = QStringLiteral("wrong-host.csr");
    const QStringList serverKey = {QStringLiteral("-key"), QStringLiteral("server.key")};
    // ca.pem comes last: its presence says that the set is complete.
    return selfSigned({QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                       QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                       QStringLiteral("-keyout"), QStringLiteral("ca.key")},
                      QStringLiteral("/CN=Tintelle provider simulator CA"), QStringLiteral("ca"),
                      QStringLiteral("ca.tmp")) &&
           openssl({QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("EC"),
                    QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                    QStringLiteral("-out"), QStringLiteral("server.key")},
                   error) &&
           request(QStringLiteral("/CN=localhost"), csr) &&
           request(QStringLiteral("/CN=wrong-host.example"), wrongCsr) &&
           sign(csr, QStringLiteral("server"), QStringLiteral("3650"),
                QStringLiteral("server.pem")) &&
           sign(csr, QStringLiteral("server"), QStringLiteral("-1"),
                QStringLiteral("expired.pem")) &&
           sign(wrongCsr, QStringLiteral("wrong"), QStringLiteral("3650"),
                QStringLiteral("wrong-host.pem")) &&
           selfSigned(serverKey, QStringLiteral("/CN=localhost"), QStringLiteral("server"),
                      QStringLiteral("self-signed.pem")) &&
           QFile::rename(path(QStringLiteral("ca.tmp")), path(QStringLiteral("ca.pem")));
}
