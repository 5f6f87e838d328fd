#include "providerpki.h"
#include "providerserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tintelle-provider-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "HTTPS stand-in for the click-to-call provider, for tests and demonstrations.\n"
        "Listens on 127.0.0.1 (or ::1) and prints \"listening on PORT\" once ready."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port on 127.0.0.1; 0 picks a free one."),
                                  QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption pki(
        QStringLiteral("pki"),
        QStringLiteral("Serve with a throwaway CA kept in this directory, made there if absent: "
                       "ca.pem (to trust), server.pem, server.key and the refused kinds."),
        QStringLiteral("dir"));
    const QCommandLineOption certificate(
        QStringLiteral("certificate"),
        QStringLiteral("With --pki, the certificate to serve: %1.")
            .arg(ProviderPki::kindNames().join(QStringLiteral(", "))),
        QStringLiteral("kind"), QStringLiteral("valid"));
    const QCommandLineOption cert(QStringLiteral("cert"),
                                  QStringLiteral("PEM server certificate (chain)."),
                                  QStringLiteral("file"));
    const QCommandLineOption key(QStringLiteral("key"), QStringLiteral("PEM private key."),
                                 QStringLiteral("file"));
    const QCommandLineOption login(QStringLiteral("login"),
                                   QStringLiteral("Login that is accepted."),
                                   QStringLiteral("login"));
    const QCommandLineOption password(QStringLiteral("password"),
                                      QStringLiteral("Password that is accepted."),
                                      QStringLiteral("password"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Append one JSON line per request to this file."),
                                 QStringLiteral("file"));
    const QCommandLineOption delay(QStringLiteral("delay"),
                                   QStringLiteral("Wait this long before answering."),
                                   QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption misbehave(
        QStringLiteral("misbehave"),
        QStringLiteral("Answer wrongly on purpose: %1.")
            .arg(ProviderServer::misbehaviourNames().join(QStringLiteral(", "))),
        QStringLiteral("mode"), QStringLiteral("none"));
    const QCommandLineOption size(
        QStringLiteral("size"),
        QStringLiteral("Size of the deep, many-attributes and long-fault replies."),
        QStringLiteral("bytes"), QStringLiteral("65000"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Report TLS and protocol trouble on stderr."));
    const QCommandLineOption ipv6(QStringLiteral("ipv6"),
                                  QStringLiteral("Listen on ::1 instead of 127.0.0.1."));
    const QCommandLineOption ready(
        QStringLiteral("ready-file"),
        QStringLiteral("Once listening, write the port to this file; exit when it is removed."),
        QStringLiteral("file"));
    parser.addOptions({port, pki, certificate, cert, key, login, password, log, delay, misbehave,
                       size, verbose, ipv6, ready});
    parser.process(app);

    const auto fail = [](const QString &message) {
        std::fprintf(stderr, "tintelle-provider-sim: %s\n", qUtf8Printable(message));
        return 2;
    };
    QString certificatePath = parser.value(cert);
    QString keyPath = parser.value(key);
    if (parser.isSet(pki)) {
        const ProviderPki authority(parser.value(pki));
        ProviderPki::Kind kind;
        if (!ProviderPki::kindFromName(parser.value(certificate), &kind))
            return fail(QStringLiteral("unknown --certificate kind"));
        QString error;
        if (!authority.ensure(&error))
            return fail(error);
        certificatePath = authority.certificatePath(kind);
        keyPath = authority.keyPath();
    } else if (!parser.isSet(cert) || !parser.isSet(key)) {
        return fail(QStringLiteral("--pki, or --cert and --key, are required"));
    }
    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535)
        return fail(QStringLiteral("bad --port"));
    ProviderServer::Options options;
    options.login = parser.value(login);
    options.password = parser.value(password);
    options.logPath = parser.value(log);
    options.delayMs = parser.value(delay).toInt(&ok);
    if (!ok || options.delayMs < 0)
        return fail(QStringLiteral("bad --delay"));
    options.replySize = parser.value(size).toInt(&ok);
    if (!ok || options.replySize < 0)
        return fail(QStringLiteral("bad --size"));
    if (!ProviderServer::misbehaviourFromName(parser.value(misbehave), &options.misbehaviour))
        return fail(QStringLiteral("unknown --misbehave mode"));
    options.verbose = parser.isSet(verbose);
    options.ipv6 = parser.isSet(ipv6);

    ProviderServer server(options);
    QString error;
    if (!server.listen(quint16(portNumber), certificatePath, keyPath, &error))
        return fail(error);
    std::printf("listening on %u\n", unsigned(server.port()));
    std::fflush(stdout);
    if (parser.isSet(ready)) {
        // A file, polled: a Windows parent under Wine can neither read our output nor signal us.
        const QString path = parser.value(ready);
        QSaveFile file(path); // whole or absent, never half written
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(server.port())) < 0 ||
            !file.commit())
            return fail(QStringLiteral("cannot write %1").arg(path));
        QTimer *poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, &app, [path] {
            if (!QFile::exists(path))
                QCoreApplication::quit();
        });
        poll->start(100);
    }
    return app.exec();
}
