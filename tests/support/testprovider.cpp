#include "testprovider.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTest>

namespace {

QString misbehaviourName(TestProvider::Misbehaviour misbehaviour)
{
    using M = TestProvider::Misbehaviour;
    switch (misbehaviour) {
    case M::None:
        return QStringLiteral("none");
    case M::MalformedXml:
        return QStringLiteral("malformed-xml");
    case M::NotXml:
        return QStringLiteral("not-xml");
    case M::NotSoapEnvelope:
        return QStringLiteral("not-soap");
    case M::EmptyFaultString:
        return QStringLiteral("empty-faultstring");
    case M::FaultStatus200:
        return QStringLiteral("fault-status-200");
    case M::HugeBody:
        return QStringLiteral("huge-body");
    case M::HugeBodyUnsized:
        return QStringLiteral("huge-body-unsized");
    case M::Reset:
        return QStringLiteral("reset");
    }
    return {};
}

} // namespace

TestProvider::TestProvider()
{
    // Its stderr only carries trouble; let it reach the test log.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

TestProvider::~TestProvider()
{
    stop();
}

QString TestProvider::simulatorPath()
{
    const QString fromEnvironment = qEnvironmentVariable("TINTELLE_PROVIDER_SIM");
    return fromEnvironment.isEmpty() ? QStringLiteral(TINTELLE_PROVIDER_SIM) : fromEnvironment;
}

bool TestProvider::start(const Options &options)
{
    stop();
    error.clear();
    const TestCertificates &certificates = TestCertificates::instance();
    if (!certificates.isValid()) {
        error = certificates.errorString();
        return false;
    }
    if (!dir.isValid()) {
        error = QStringLiteral("no temporary directory: %1").arg(dir.errorString());
        return false;
    }
    TestCertificates::trustTestCa();
    QFile::remove(dir.filePath(QStringLiteral("requests.jsonl")));

    process.start(simulatorPath(),
                  {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--cert"),
                   certificates.certificatePath(options.certificate), QStringLiteral("--key"),
                   certificates.keyPath(), QStringLiteral("--login"), options.login,
                   QStringLiteral("--password"), options.password, QStringLiteral("--log"),
                   dir.filePath(QStringLiteral("requests.jsonl")), QStringLiteral("--delay"),
                   QString::number(options.delayMs), QStringLiteral("--misbehave"),
                   misbehaviourName(options.misbehaviour)});
    if (!process.waitForStarted(10000)) {
        error = QStringLiteral("%1: %2").arg(simulatorPath(), process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!process.canReadLine() && process.state() == QProcess::Running && !deadline.hasExpired())
        process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    const QByteArray line = process.readLine().trimmed();
    bool ok = false;
    if (line.startsWith("listening on "))
        listeningPort = quint16(line.mid(13).toUInt(&ok));
    if (!ok || listeningPort == 0) {
        error = QStringLiteral("the simulator did not start (said \"%1\")")
                    .arg(QString::fromLocal8Bit(line));
        stop();
        return false;
    }
    return true;
}

void TestProvider::stop()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    listeningPort = 0;
}

bool TestProvider::isRunning() const
{
    return process.state() == QProcess::Running && listeningPort != 0;
}

QString TestProvider::url(const QString &path) const
{
    return QStringLiteral("https://127.0.0.1:%1%2").arg(listeningPort).arg(path);
}

QList<QJsonObject> TestProvider::requests() const
{
    QList<QJsonObject> entries;
    QFile file(dir.filePath(QStringLiteral("requests.jsonl")));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    // Only complete lines: the simulator may be writing the next one.
    const QByteArray log = file.readAll();
    const QList<QByteArray> lines = log.left(log.lastIndexOf('\n') + 1).split('\n');
    for (const QByteArray &line : lines) {
        const QJsonDocument entry = QJsonDocument::fromJson(line);
        if (entry.isObject())
            entries.append(entry.object());
    }
    return entries;
}

bool TestProvider::waitForRequests(int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return requests().size() >= count; }, timeoutMs);
}
