#pragma once

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

// The provider simulator (tintelle-provider-sim) as a child process on 127.0.0.1, serving with its
// throwaway CA: aim "endpoint" at url() and "endpointca" at caPath(). Stopped when destroyed.
class TestProvider
{
public:
    ~TestProvider() { stop(); }
    // Starts it anew with an empty log, accepting that account only; false when it does not listen.
    bool start(const QString &login, const QString &password, const QStringList &arguments = {});
    QString errorString() const { return error; }
    QString url() const { return QStringLiteral("https://127.0.0.1:%1").arg(port); }
    // The CA of every simulator of this process, made by the first start().
    static QString caPath();
    // The requests read so far, oldest first, as the simulator logs them (its --log).
    QList<QJsonObject> requests() const { return log(false); }
    // The connections that the client closed before the simulator was done with them.
    int closedByClient() const { return int(log(true).size()); }

private:
    void stop() { QFile::remove(file("port")), port = 0; }
    QList<QJsonObject> log(bool events) const;
    QString file(const char *name) const { return dir.filePath(name + QString::number(runs)); }

    QTemporaryDir dir;
    int runs = 0; // each run its own files: one stopping may still write to its log
    quint16 port = 0;
    QString error;
};
