#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The provider simulator (tintelle-provider-sim) as a child process on 127.0.0.1, serving with
// its throwaway CA; the destructor stops it:
//
//     TestProvider provider;
//     QVERIFY2(provider.start(), qPrintable(provider.errorString()));
//     resetSettings({{"endpoint", provider.url()}, {"endpointca", TestProvider::caPath()}, ...});
//     ... place the call, then read provider.requests() ...
class TestProvider
{
public:
    struct Options
    {
        QString login = QStringLiteral("alice"); // the account it accepts
        QString password = QStringLiteral("secret");
        QString misbehaviour = QStringLiteral("none"); // --misbehave
        int delayMs = 0;                               // before each answer
        QStringList arguments; // more options, e.g. {"--certificate", "expired"}
    };

    ~TestProvider() { stop(); }

    // Stops a running one, starts anew with an empty log and waits until it listens.
    bool start(const Options &options);
    bool start();
    void stop();
    QString errorString() const { return error; }
    // "https://127.0.0.1:PORT" + path: the value for the "endpoint" setting.
    QString url(const QString &path = QStringLiteral("/")) const;
    // The CA of every simulator of this process, for "endpointca"; made by the first start().
    static QString caPath();

    // The requests read so far, oldest first, as the simulator logs them (its --log).
    QList<QJsonObject> requests() const;
    // Runs the event loop until at least `count` requests have been read.
    bool waitForRequests(int count, int timeoutMs = 5000) const;

private:
    QProcess process;
    QTemporaryDir dir;
    quint16 port = 0;
    QString error;
};
