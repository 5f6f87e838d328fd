#include "testcertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace {

const char config[] = R"([req]
distinguished_name = dn
prompt = no
[dn]
CN = Tintelle test
[ca]
default_ca = testca
[testca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = anything
unique_subject = no
[anything]
commonName = supplied
[ca_ext]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[leaf_ext]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost,IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[self_ext]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost,IP:127.0.0.1
[wrong_ext]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:wrong-host.example
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
)";

const QStringList ecKey = {
    QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
    QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

QString fileName(TestCertificates::Kind kind)
{
    switch (kind) {
    case TestCertificates::Kind::Valid:
        return QStringLiteral("valid.crt");
    case TestCertificates::Kind::SelfSigned:
        return QStringLiteral("selfsigned.crt");
    case TestCertificates::Kind::Expired:
        return QStringLiteral("expired.crt");
    case TestCertificates::Kind::WrongHost:
        return QStringLiteral("wronghost.crt");
    case TestCertificates::Kind::UntrustedCa:
        return QStringLiteral("untrusted.crt");
    }
    return {};
}

} // namespace

const TestCertificates &TestCertificates::instance()
{
    static const TestCertificates certificates;
    return certificates;
}

TestCertificates::TestCertificates()
{
    if (!dir.isValid())
        error = QStringLiteral("no temporary directory: %1").arg(dir.errorString());
    else
        generate();
}

QString TestCertificates::path(const QString &name) const
{
    return dir.filePath(name);
}

QString TestCertificates::caCertificatePath() const
{
    return path(QStringLiteral("ca.crt"));
}

QString TestCertificates::caDirectoryPath() const
{
    return path(QStringLiteral("trust"));
}

QString TestCertificates::certificatePath(Kind kind) const
{
    return path(fileName(kind));
}

QString TestCertificates::keyPath() const
{
    return path(QStringLiteral("leaf.key"));
}

bool TestCertificates::openssl(const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        error = QStringLiteral("openssl %1 failed: %2 %3")
                    .arg(arguments.join(QLatin1Char(' ')), process.errorString(),
                         QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool TestCertificates::generate()
{
    QFile cnf(path(QStringLiteral("openssl.cnf")));
    QFile index(path(QStringLiteral("index.txt")));
    QFile serial(path(QStringLiteral("serial")));
    if (!cnf.open(QIODevice::WriteOnly) || cnf.write(config) < 0 ||
        !index.open(QIODevice::WriteOnly) || !serial.open(QIODevice::WriteOnly) ||
        serial.write("1000\n") < 0) {
        error = QStringLiteral("cannot write in %1").arg(dir.path());
        return false;
    }
    cnf.close();
    index.close();
    serial.close();

    const QString c = QStringLiteral("openssl.cnf");
    const auto makeCa = [&](const QString &name, const QString &subject) {
        return openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509"),
                                   QStringLiteral("-config"), c}
                       << ecKey
                       << QStringList{QStringLiteral("-keyout"), name + QStringLiteral(".key"),
                                      QStringLiteral("-out"), name + QStringLiteral(".crt"),
                                      QStringLiteral("-days"), QStringLiteral("30"),
                                      QStringLiteral("-subj"), subject,
                                      QStringLiteral("-extensions"), QStringLiteral("ca_ext")});
    };
    const auto sign = [&](const QString &ca, const QString &csr, const QString &out,
                          const QString &extensions, const QStringList &validity) {
        return openssl(QStringList{QStringLiteral("ca"), QStringLiteral("-batch"),
                                   QStringLiteral("-notext"), QStringLiteral("-config"), c,
                                   QStringLiteral("-cert"), ca + QStringLiteral(".crt"),
                                   QStringLiteral("-keyfile"), ca + QStringLiteral(".key"),
                                   QStringLiteral("-in"), csr, QStringLiteral("-out"), out,
                                   QStringLiteral("-extensions"), extensions}
                       << validity);
    };
    const QStringList thirtyDays = {QStringLiteral("-days"), QStringLiteral("30")};
    const auto request = [&](const QString &csr, const QString &subject, const QStringList &key) {
        return openssl(
            QStringList{QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-config"), c}
            << key << QStringList{QStringLiteral("-out"), csr, QStringLiteral("-subj"), subject});
    };
    const QStringList existingKey = {QStringLiteral("-key"), QStringLiteral("leaf.key")};

    return makeCa(QStringLiteral("ca"), QStringLiteral("/CN=Tintelle Test CA")) &&
           makeCa(QStringLiteral("other-ca"), QStringLiteral("/CN=Untrusted Test CA")) &&
           request(QStringLiteral("localhost.csr"), QStringLiteral("/CN=localhost"),
                   ecKey + QStringList{QStringLiteral("-keyout"), QStringLiteral("leaf.key")}) &&
           request(QStringLiteral("wronghost.csr"), QStringLiteral("/CN=wrong-host.example"),
                   existingKey) &&
           sign(QStringLiteral("ca"), QStringLiteral("localhost.csr"), fileName(Kind::Valid),
                QStringLiteral("leaf_ext"), thirtyDays) &&
           sign(QStringLiteral("ca"), QStringLiteral("localhost.csr"), fileName(Kind::Expired),
                QStringLiteral("leaf_ext"),
                {QStringLiteral("-startdate"), QStringLiteral("20200101000000Z"),
                 QStringLiteral("-enddate"), QStringLiteral("20200201000000Z")}) &&
           sign(QStringLiteral("ca"), QStringLiteral("wronghost.csr"), fileName(Kind::WrongHost),
                QStringLiteral("wrong_ext"), thirtyDays) &&
           sign(QStringLiteral("other-ca"), QStringLiteral("localhost.csr"),
                fileName(Kind::UntrustedCa), QStringLiteral("leaf_ext"), thirtyDays) &&
           openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-config"), c,
                    QStringLiteral("-key"), QStringLiteral("leaf.key"), QStringLiteral("-out"),
                    fileName(Kind::SelfSigned), QStringLiteral("-days"), QStringLiteral("30"),
                    QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
                    QStringLiteral("-extensions"), QStringLiteral("self_ext")}) &&
           QDir(dir.path()).mkdir(QStringLiteral("trust")) &&
           QFile::copy(caCertificatePath(), path(QStringLiteral("trust/ca.crt"))) &&
           openssl({QStringLiteral("rehash"), QStringLiteral("trust")});
}

bool TestCertificates::trustTestCa()
{
    const TestCertificates &certificates = instance();
    if (!certificates.isValid())
        return false;
    const QList<QSslCertificate> ca =
        QSslCertificate::fromPath(certificates.caCertificatePath(), QSsl::Pem);
    if (ca.size() != 1)
        return false;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (!configuration.caCertificates().contains(ca.first())) {
        configuration.addCaCertificates(ca);
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
    return true;
}
