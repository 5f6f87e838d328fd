#pragma once

#include <QString>
#include <QStringList>

// A throwaway certificate authority for the simulator, made with the `openssl` command in a
// directory of its own, so that tests, demonstrations and trials need no certificate code:
// ca.pem (to trust, e.g. through the "endpointca" setting), server.pem and server.key for
// localhost and 127.0.0.1, and certificates that a client must refuse, sharing server.key.
// EC keys, made in a fraction of a second.
class ProviderPki
{
public:
    enum class Kind {
        Valid,      // signed by the CA for localhost and 127.0.0.1
        SelfSigned, // the right names, signed by its own key
        Expired,    // signed by the CA, expired since yesterday
        WrongHost,  // signed by the CA for wrong-host.example only
    };

    explicit ProviderPki(const QString &directory) : dir(directory) {}

    // Makes the set unless the directory already holds ca.pem; several processes may ask at
    // once. On failure `error` says why.
    bool ensure(QString *error) const;

    QString certificatePath(Kind kind) const;
    QString keyPath() const;

    static bool kindFromName(const QString &name, Kind *kind);
    static QStringList kindNames();

private:
    bool openssl(const QStringList &arguments, QString *error) const;
    bool generate(QString *error) const;
    QString path(const QString &name) const;

    QString dir;
};
