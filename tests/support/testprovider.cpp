#include "tests/support/testprovider.h"

#include <QDeadlineTimer>
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
    // Its port comes through a file, and removing the file stops it: this works on Linux and
    // under Wine alike, where a Windows parent neither reads nor signals a Linux child.
    const QString ready = dir.filePath(QStringLiteral("port"));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // its trouble, in the test log
    process.start(TINTELLE_PROVIDER_SIM,
                  QStringList{"--port", "0", "--pki", pki.path(), "--login", login, "--password",
                              password, "--log", dir.filePath("log"), "--ready-file", ready}
                      << arguments);
    QFile file(ready);
    const QDeadlineTimer deadline(10000);
    while (!file.exists() && !deadline.hasExpired() && process.state() != QProcess::NotRunning)
        process.waitForFinished(20);
    port = file.open(QIODevice::ReadOnly) ? quint16(file.readAll().toUInt()) : 0;
    error = QStringLiteral("the simulator did not start: %1").arg(process.errorString());
    if (!port)
        stop();
    return port;
}

void TestProvider::stop()
{
    if (!QFile::remove(dir.filePath(QStringLiteral("port"))))
        process.kill();
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
