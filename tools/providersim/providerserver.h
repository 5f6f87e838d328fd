#pragma once

#include <QJsonObject>
#include <QObject>
#include <QSslServer>
#include <QString>
#include <QStringList>

// HTTPS stand-in for the provider's click-to-call service, for tests and demonstrations. It
// listens on the loopback only (127.0.0.1, or ::1), answers telephonyClick2CallDo and logs every
// request it reads as one JSON line, and {"event": "client closed"} for every connection that the
// client closed while the simulator still had something to send or was waiting to. Whatever the
// mode, a connection ends after at most 1 GiB sent or two minutes.
class ProviderServer : public QObject
{
    Q_OBJECT

public:
    // How requests are answered; everything but None is a deliberate fault.
    enum class Misbehaviour {
        None,
        MalformedXml,      // 200 with a truncated envelope
        NotXml,            // 200 with plain text
        NotSoapEnvelope,   // 200 with well-formed XML that is no SOAP envelope
        EmptyFaultString,  // 500 with a fault whose faultstring is empty
        FaultStatus200,    // faults go out with status 200 instead of 500
        BareFault,         // 500 with a fault without faultcode nor faultstring
        Forbidden,         // 403 with a success envelope as its body
        HugeBody,          // 200 with an 8 MiB body announced by Content-Length
        HugeBodyUnsized,   // the same body without Content-Length, ended by closing
        Reset,             // the connection is reset once the request has been read
        CloseAfterRequest, // the connection is closed once the request has been read
        Silent,            // the request is read and never answered
        Drip,              // the right answer, one byte a second
        Deep,              // 200 with elements nested as deep as the reply size allows
        ManyAttributes,    // 200 with one element holding as many attributes as fit
        LongFault,         // 500 with a fault whose faultstring fills the reply size in lines
        Redirect,          // 302 to another path, with a success envelope as its body
        HeaderFlood,       // 200, then header lines without end
        EndlessHeader,     // 200, then one header line without end
        EndlessStatus,     // a status line without end
        Endless,           // 200 with a chunked body without end
        Unsized,           // the right answer without Content-Length, ended by the close
        CloseAtOnce,       // each connection is closed as soon as it is accepted, before TLS
    };

    struct Options
    {
        QString login;
        QString password;
        QString logPath;       // empty: no log
        int delayMs = 0;       // wait before answering
        int replySize = 65000; // of the Deep, ManyAttributes and LongFault replies, in bytes
        Misbehaviour misbehaviour = Misbehaviour::None;
        bool verbose = false; // TLS and protocol trouble on stderr
        bool ipv6 = false;    // on ::1 instead of 127.0.0.1
    };

    explicit ProviderServer(const Options &options, QObject *parent = nullptr);

    // Loads the PEM certificate (chain) and private key, then listens on the loopback; port 0
    // picks a free one. On failure `error` says why.
    bool listen(quint16 port, const QString &certificatePath, const QString &keyPath,
                QString *error);
    quint16 port() const;

    const Options &options() const { return opts; }

    // Appends one line to the log file; the file is opened and closed each time so that a
    // reader sees every complete line at once.
    void logRequest(const QJsonObject &entry);
    void debug(const QString &message) const;

    static bool misbehaviourFromName(const QString &name, Misbehaviour *misbehaviour);
    static QStringList misbehaviourNames();

private:
    void acceptConnections();

    Options opts;
    QSslServer server;
};
