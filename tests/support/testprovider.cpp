#include "testprovider.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTest>

namespace {

const QTemporaryDir &pki()
{
    static const QTemporaryDir dir;
    return dir;
}

} // namespace

QString TestProvider::caPath()
{
    return pki().filePath(QStringLiteral("ca.pem"));
}

bool TestProvider::start(const Options &options)
{
    stop();
    const QString log = dir.filePath(QStringLiteral("requests.jsonl"));
    QFile::remove(log);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // its trouble, in the test log
    process.start(QStringLiteral(TINTELLE_PROVIDER_SIM),
                  QStringList{"--port", "0", "--pki", pki().path(), "--login", options.login,
                              "--password", options.password, "--log", log, "--delay",
                              QString::number(options.delayMs), "--misbehave", options.misbehaviour}
                      << options.arguments);
    const QDeadlineTimer deadline(10000);
    while (!process.canReadLine() && process.waitForReadyRead(int(deadline.remainingTime())))
        ;
    const QByteArray line = process.readLine().trimmed();
    port = line.startsWith("listening on ") ? quint16(line.mid(13).toUInt()) : 0;
    error = QStringLiteral("the simulator did not start (%1)").arg(process.errorString());
    if (!port)
        stop();
    return port;
}

bool TestProvider::start()
{
    return start(Options());
}

void TestProvider::stop()
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished();
    port = 0;
}

QString TestProvider::url(const QString &path) const
{
    return QStringLiteral("https://127.0.0.1:%1%2").arg(port).arg(path);
}

QList<QJsonObject> TestProvider::requests() const
{
    QFile file(dir.filePath(QStringLiteral("requests.jsonl")));
    QList<QJsonObject> entries;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) // a line is written whole
            entries << QJsonDocument::fromJson(line).object();
    }
    entries.removeAll(QJsonObject());
    return entries;
}

bool TestProvider::waitForRequests(int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return requests().size() >= count; }, timeoutMs);
}
