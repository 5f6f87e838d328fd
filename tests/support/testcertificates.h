#pragma once

#include <QString>
#include <QTemporaryDir>

// Throwaway certificates for HTTPS tests, made with the `openssl` command in a temporary
// directory the first time instance() is called in a process, and removed at exit. Keys are EC
// (prime256v1), so making the whole set takes a fraction of a second.
//
// Every server certificate is for the server at 127.0.0.1 and shares one private key, keyPath().
class TestCertificates
{
public:
    enum class Kind {
        Valid,       // signed by the test CA; SAN DNS:localhost, IP:127.0.0.1
        SelfSigned,  // right names, but signed by its own key
        Expired,     // signed by the test CA, valid only in January 2020
        WrongHost,   // signed by the test CA for wrong-host.example only
        UntrustedCa, // right names, signed by a second CA that nobody trusts
    };

    // The process's set; check isValid() before use.
    static const TestCertificates &instance();

    bool isValid() const { return error.isEmpty(); }
    QString errorString() const { return error; }

    // PEM file of the test CA.
    QString caCertificatePath() const;
    // A hashed certificate directory holding only the test CA. Qt 6.4 ignores SSL_CERT_FILE and
    // SSL_CERT_DIR, so a separate program (the real binary) trusts the CA only through the system
    // directory, e.g. `unshare -m sh -c 'mount --bind DIR /etc/ssl/certs && exec PROGRAM'` (root).
    QString caDirectoryPath() const;
    QString certificatePath(Kind kind) const;
    QString keyPath() const;

    // Adds the test CA to this process's default QSslConfiguration, as if it were in the system
    // store; requests built afterwards trust it. Safe to call more than once.
    static bool trustTestCa();

private:
    TestCertificates();
    bool generate();
    bool openssl(const QStringList &arguments);
    QString path(const QString &name) const;

    QTemporaryDir dir;
    QString error;
};
