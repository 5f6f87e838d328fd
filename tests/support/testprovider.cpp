#include "tests/support/testprovider.h"

#include <QFile>
#include <QJsonDocument>

namespace {

const QTemporaryDir pki;

} // namespace

QString TestProvider::caPath()
{
    return pki.filePath(QStringLiteral("ca.pem"));
}

bool TestProvider::start(const QString &login, const QString &password,
                         const QStringList &arguments)
{
    stop();
    QFile::remove(dir.filePath(QStringLiteral("log")));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // its trouble, in the test log
    process.start(TINTELLE_PROVIDER_SIM,
                  QStringList{"--port", "0", "--pki", pki.path(), "--login", login, "--password",
                              password, "--log", dir.filePath("log")}
                      << arguments);
    while (!process.canReadLine() && process.waitForReadyRead(10000))
        ;
    const QByteArray line = process.readLine();
    port = line.startsWith("listening on ") ? quint16(line.mid(13).trimmed().toUInt()) : 0;
    error = QStringLiteral("the simulator did not start: %1").arg(process.errorString());
    if (!port)
        stop();
    return port;
}

void TestProvider::stop()
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished();
    port = 0;
}

QList<QJsonObject> TestProvider::log(bool events) const
{
    QFile log(dir.filePath(QStringLiteral("log")));
    QList<QJsonObject> entries;
    for (const QByteArray &line :
         log.open(QIODevice::ReadOnly) ? log.readAll().split('\n') : QList<QByteArray>()) {
        const QJsonDocument entry = QJsonDocument::fromJson(line);
        if (entry.isObject() && entry.object().contains(QLatin1String("event")) == events)
            entries << entry.object(); // not a line still being written
    }
    return entries;
}
