#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

// The provider simulator (tintelle-provider-sim) as a child process on 127.0.0.1, serving with its
// throwaway CA: aim "endpoint" at url() and "endpointca" at caPath(). Stopped when destroyed.
class TestProvider
{
public:
    struct Options
    {
        QString login = QStringLiteral("alice"), password = QStringLiteral("secret");
        QStringList arguments; // more, e.g. {"--certificate", "expired"}
    };

    ~TestProvider() { stop(); }
    // Starts it anew, with an empty log; false when it does not listen.
    bool start(const Options &options);
    QString errorString() const { return error; }
    // "https://127.0.0.1:PORT" + path.
    QString url(const QString &path = QStringLiteral("/")) const;
    // The CA of every simulator of this process, made by the first start().
    static QString caPath();
    // The requests read so far, oldest first, as the simulator logs them (its --log).
    QList<QJsonObject> requests() const;
    // The connections that the client closed before the simulator was done with them.
    int closedByClient() const;

private:
    void stop();
    QList<QJsonObject> log(bool events) const;

    QProcess process;
    QTemporaryDir dir;
    quint16 port = 0;
    QString error;
};
