#include "tests/support/testprovider.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>

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
    ++runs;
    // Its port comes in a file, whose removal stops it: a Windows parent cannot read or signal it.
    QProcess process;
    process.setProgram(TINTELLE_PROVIDER_SIM);
    process.setArguments(QStringList{"--port", "0", "--pki", pki.path(), "--login", login,
                                     "--password", password, "--log", file("log"), "--ready-file",
                                     file("port")}
                         << arguments);
    process.setStandardOutputFile(QProcess::nullDevice()); // its trouble, on stderr, in the log
    QFile ready(file("port"));
    const QDeadlineTimer deadline(10000);
    if (process.startDetached())
        while (!ready.exists() && !deadline.hasExpired())
            QThread::msleep(20);
    port = ready.open(QIODevice::ReadOnly) ? quint16(ready.readAll().toUInt()) : 0;
    error = QStringLiteral("the simulator did not start: %1").arg(process.errorString());
    return port;
}

QList<QJsonObject> TestProvider::log(bool events) const
{
    QFile log(file("log"));
    QList<QJsonObject> entries;
    for (const QByteArray &line :
         log.open(QIODevice::ReadOnly) ? log.readAll().split('\n') : QList<QByteArray>()) {
        const QJsonDocument entry = QJsonDocument::fromJson(line);
        if (entry.isObject() && entry.object().contains(QLatin1String("event")) == events)
            entries << entry.object(); // not a line still being written
    }
    return entries;
}
