// What a later start hands over: a link's number, and its request on the guard's socket.
#include "app/copyhandler.h"
#include "app/dialogclaim.h"
#include "app/phonelink.h"
#include "app/privateplace.h"
#include "app/singleinstance.h"
#include "service/phonenumber.h"
#include "service/providerconfig.h"
#include "service/ws.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

class TestHandOver : public QObject
{
    Q_OBJECT

private slots:
    void linkNumber_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("dialled");
        QTest::addRow("French") << u"tel:+33-1-23-45-67-89"_s << u"0123456789"_s
                                << u"0033123456789"_s;
        QTest::addRow("encoded") << u"tel:%2B33%206%2012345678"_s << u"0612345678"_s
                                 << u"0033612345678"_s;
        QTest::addRow("+33 then 0")
            << u"tel:+33-012-345-678"_s << u"0033012345678"_s << u"0033012345678"_s;
        QTest::addRow("callto") << u"CallTo://+44.20.7946.0000"_s << u"00442079460000"_s
                                << u"00442079460000"_s;
        QTest::addRow("parameters") << u"tel:123;ext=3615"_s << QString() << QString();
        QTest::addRow("not a link") << u"0612345678"_s << u"(not a link)"_s << QString();
    }

    void linkNumber()
    {
        QFETCH(QString, link);
        const std::optional<QString> number = PhoneLink::numberText(link);
        QString text = number.value_or(u"(not a link)"_s), dial;
        if (number && !PhoneNumber::extract(text, dial).isEmpty())
            text = PhoneNumber::shownForm(dial);
        QTEST(text, "shown");
        QTEST(dial, "dialled");
    }

    // Requests before acceptRequests(): garbage dropped, of the rest only the latest kept, on a
    // guard that took a crashed copy's socket over and holds many idle connections.
    void guard_data()
    {
        QTest::addColumn<QByteArray>("earlier");
        QTest::addColumn<int>("idle");         // connections held open, never speaking
        QTest::addColumn<bool>("acceptFails"); // once, for want of a descriptor
        QTest::addRow("no verb") << QByteArray("0612") << 0 << false;
        QTest::addRow("not UTF-8") << QByteArray("OPEN \xff") << 0 << false;
        QTest::addRow("oversized") << "OPEN " + QByteArray(1020, '6') << 0 << false;
        QTest::addRow("an earlier request") << QByteArray("OPEN 0611111111") << 0 << false;
        QTest::addRow("idle connections") << QByteArray() << 400 << false;
        QTest::addRow("accept() failed") << QByteArray() << 0 << true;
    }

    void guard()
    {
        QFETCH(QByteArray, earlier);
        QFETCH(int, idle);
        QFETCH(bool, acceptFails);
        QTemporaryDir dir;
        const QString name = dir.filePath(u"guard.socket"_s);
        QCOMPARE(::mknod(QFile::encodeName(name).constData(), S_IFSOCK | 0600, 0), 0);
        SingleInstance first(dir.path(), u"guard"_s);
        QCOMPARE(first.handOver(std::nullopt), SingleInstance::Start::Guarded);
        QCOMPARE(QFile::permissions(name) & QFile::Permissions(0x0077), QFile::Permissions());
        QSignalSpy spy(&first, &SingleInstance::requested);

        // Too few descriptors for the guard to keep every idle connection as well as its clients.
        rlimit limit = {};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlimit saved = limit;
        limit.rlim_cur = QDir(u"/proc/self/fd"_s).count() + idle * 5 / 4;
        QVERIFY(idle == 0 || ::setrlimit(RLIMIT_NOFILE, &limit) == 0);
        std::vector<int> clients;
        for (int i = 0; i < idle; ++i) {
            clients.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            qstrncpy(address.sun_path, QFile::encodeName(name).constData(),
                     sizeof address.sun_path);
            int connected;
            while ((connected = ::connect(clients.back(), reinterpret_cast<sockaddr *>(&address),
                                          sizeof address)) != 0 &&
                   errno == EAGAIN)
                QCoreApplication::processEvents();
            QCOMPARE(connected, 0);
            QCoreApplication::processEvents();
        }

        if (!earlier.isEmpty()) {
            QLocalSocket client;
            client.connectToServer(name);
            QVERIFY(client.waitForConnected() && client.write(earlier) &&
                    client.waitForBytesWritten());
            client.disconnectFromServer();
            QTest::qWait(200); // received before the later start's request
        }
        if (acceptFails) { // Qt closes the server and removes its socket; the guard listens again
            const int client = ::socket(AF_UNIX, SOCK_STREAM, 0), lowestFree = ::dup(0);
            ::close(lowestFree);
            limit.rlim_cur = lowestFree;
            QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            qstrncpy(address.sun_path, QFile::encodeName(name).constData(),
                     sizeof address.sun_path);
            QCOMPARE(::connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            QTRY_VERIFY(!QFileInfo::exists(name));
            ::setrlimit(RLIMIT_NOFILE, &saved);
            ::close(client);
            QTRY_VERIFY(QFileInfo::exists(name));
        }
        QCOMPARE(SingleInstance(dir.path(), u"guard"_s).handOver(u"0123456789"_s),
                 SingleInstance::Start::HandedOver);
        for (int fd : clients)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &saved);
        QTest::qWait(200); // for both requests to be received before the program is ready
        first.acceptRequests();
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toString(), u"0123456789"_s);
    }

    // The user's private place, met by every start of the user: never a folder that someone else
    // may reach, such as /tmp or a link.
    void privateFolder_data()
    {
        QTest::addColumn<QString>("runtime"); // what XDG_RUNTIME_DIR names
        QTest::addColumn<bool>("account");    // the account's runtime folder exists, private
        QTest::addColumn<bool>("homeUsable");
        QTest::addColumn<QString>("expected");
        QTest::addRow("private runtime") << "own" << true << true << "run/tintelle";
        QTest::addRow("unset") << "" << true << true << "account/tintelle";
        QTest::addRow("another account's") << "nobody" << true << true << "account/tintelle";
        QTest::addRow("world-writable") << "open" << true << true << "account/tintelle";
        QTest::addRow("group access") << "group" << true << true << "account/tintelle";
        QTest::addRow("a link") << "link" << true << true << "account/tintelle";
        QTest::addRow("no account folder") << "" << false << true << "home/.cache/tintelle-";
        QTest::addRow("nothing private") << "open" << false << false << "";
    }

    void privateFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(bool, account);
        QFETCH(bool, homeUsable);
        QFETCH(QString, expected);
        if (runtime == u"nobody" && ::geteuid() != 0)
            QSKIP("giving a folder to another account needs root");
        QTemporaryDir dir;
        for (const char *folder : {"run", "private", "tmp", "home"})
            QVERIFY(QDir(dir.path()).mkdir(QString::fromLatin1(folder)));
        const QByteArray run = QFile::encodeName(dir.filePath(u"run"_s));
        const QHash<QString, int> modes{{u"open"_s, 01777}, {u"group"_s, 0750}};
        QCOMPARE(::chmod(run.constData(), modes.value(runtime, 0700)), 0);
        if (runtime == u"nobody")
            QCOMPARE(::chown(run.constData(), 65534, 65534), 0);
        if (runtime == u"link")
            QVERIFY(QDir(dir.path()).rmdir(u"run"_s) &&
                    QFile::link(dir.filePath(u"private"_s), QString::fromLocal8Bit(run)));
        QVERIFY(!account || QDir(dir.path()).mkdir(u"account"_s));
        QVERIFY(!account ||
                QFile::setPermissions(dir.filePath(u"account"_s),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        for (const char *home : {"home/.cache", "home/.config"}) {
            const QString path = dir.filePath(QString::fromLatin1(home));
            QVERIFY(homeUsable ? QDir().mkdir(path) : QFile(path).open(QIODevice::WriteOnly));
        }
        const QDir tmp(dir.filePath(u"tmp"_s));
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));

        const QString folder =
            PrivatePlace::folder({runtime.isEmpty() ? QString() : QString::fromLocal8Bit(run),
                                  dir.filePath(u"account"_s), dir.filePath(u"home"_s)});
        QCOMPARE(folder.left(dir.path().size() + 1 + expected.size()),
                 expected.isEmpty() ? QString() : dir.filePath(expected));
        SingleInstance guard(folder, u"tintelle"_s);
        QCOMPARE(guard.handOver(QString()), expected.isEmpty() ? SingleInstance::Start::Unavailable
                                                               : SingleInstance::Start::Guarded);
        QCOMPARE(guard.refusal().isEmpty(), !expected.isEmpty());
        QVERIFY(tmp.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
        if (!expected.isEmpty())
            QCOMPARE(QFileInfo(folder).permissions() & QFile::Permissions(0x7077),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Only the user's own socket is handed to, and what is not one is never removed: that start
    // ends rather than run beside it.
    void notHandedTo_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<bool>("socket"); // else a directory at the socket's name
        QTest::addColumn<bool>("peer");   // our socket file, another account listening on it
        QTest::addRow("another account's copy") << true << true << false;
        QTest::addRow("another account's stale socket") << false << true << false;
        QTest::addRow("a directory") << false << false << false;
        QTest::addRow("another account listening") << false << true << true;
    }

    void notHandedTo()
    {
        QFETCH(bool, listening);
        QFETCH(bool, socket);
        QFETCH(bool, peer);
        if (socket && ::geteuid() != 0)
            QSKIP("giving a socket to another account needs root");
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.filePath(u"guard.socket"_s));
        SingleInstance owner(dir.path(), u"guard"_s);
        QSignalSpy spy(&owner, &SingleInstance::requested);
        owner.acceptRequests();
        int ready[2];
        pid_t other = -1;
        if (peer) {
            QCOMPARE(::pipe(ready), 0);
            if ((other = ::fork()) == 0) { // binds as root, listens as nobody
                const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                sockaddr_un address = {};
                address.sun_family = AF_UNIX;
                qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
                if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                    ::setuid(65534) == 0 && ::listen(fd, 8) == 0 && ::write(ready[1], "", 1))
                    ::pause();
                ::_exit(1);
            }
            char byte;
            QCOMPARE(::read(ready[0], &byte, 1), 1);
        } else if (listening)
            QCOMPARE(owner.handOver(QString()), SingleInstance::Start::Guarded);
        else
            QCOMPARE(socket ? ::mknod(path.constData(), S_IFSOCK | 0600, 0)
                            : ::mkdir(path.constData(), 0700),
                     0);
        if (socket && !peer)
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);

        const SingleInstance::Start start =
            SingleInstance(dir.path(), u"guard"_s).handOver(u"0611111111"_s);
        if (peer)
            ::kill(other, SIGKILL), ::waitpid(other, nullptr, 0);
        QCOMPARE(start, SingleInstance::Start::Unavailable);
        struct stat st = {};
        QVERIFY(::lstat(path.constData(), &st) == 0 &&
                (socket ? S_ISSOCK(st.st_mode) : S_ISDIR(st.st_mode)));
        if (!listening)
            return;
        QCOMPARE(::chown(path.constData(), ::geteuid(), ::getegid()), 0);
        QCOMPARE(SingleInstance(dir.path(), u"guard"_s).handOver(u"0123456789"_s),
                 SingleInstance::Start::HandedOver);
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toString(), u"0123456789"_s);
    }

    // A start that cannot reach the copy, or the start before it, ends rather than run beside it;
    // a copy too busy to accept keeps its socket.
    void unreachable_data()
    {
        QTest::addColumn<bool>("backlogFull"); // else the start lock stays held
        QTest::addRow("start lock held") << false;
        QTest::addRow("backlog full") << true;
    }

    void unreachable()
    {
        QFETCH(bool, backlogFull);
        QTemporaryDir dir;
        QLockFile lock(dir.filePath(u"guard.lock"_s));
        SingleInstance busy(dir.path(), u"guard"_s);
        std::vector<int> clients;
        if (backlogFull) {
            QCOMPARE(busy.handOver(std::nullopt), SingleInstance::Start::Guarded);
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            qstrncpy(address.sun_path, QFile::encodeName(dir.filePath(u"guard.socket"_s)),
                     sizeof address.sun_path);
            do // no event loop runs: nothing is accepted
                clients.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
            while (::connect(clients.back(), reinterpret_cast<sockaddr *>(&address),
                             sizeof address) == 0);
            QCOMPARE(errno, EAGAIN);
        } else {
            QVERIFY(lock.tryLock(0));
        }
        SingleInstance later(dir.path(), u"guard"_s);
        QCOMPARE(later.handOver(QString()), SingleInstance::Start::Unreachable);
        QVERIFY(!later.refusal().isEmpty());
        QCOMPARE(QFileInfo::exists(dir.filePath(u"guard.socket"_s)), backlogFull);
        for (int fd : clients)
            ::close(fd);
    }

    // One call dialog per user across both editions: a refused opening is handed to the edition
    // whose dialog is open, and a claim left by a crash is taken over.
    void dialogClaim()
    {
        QTemporaryDir dir;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
        QCoreApplication::setApplicationName(u"Tintelle"_s);
        auto first = std::make_unique<DialogClaim>();
        QVERIFY(first->isHeld());
        QCoreApplication::setApplicationName(u"Sonaro"_s);
        QVERIFY(!DialogClaim().isHeld());
        first.reset();
        QVERIFY(DialogClaim().isHeld());

        SingleInstance holder(PrivatePlace::folder(), u"sonaro"_s);
        QCOMPARE(holder.handOver(std::nullopt), SingleInstance::Start::Guarded);
        QSignalSpy spy(&holder, &SingleInstance::requested);
        holder.acceptRequests();
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const pid_t sonaro = ::fork();
        if (sonaro == 0) {
            QLockFile claim(PrivatePlace::folder() + u"/dialog.lock"_s);
            if (claim.tryLock(0) && ::write(ready[1], "", 1))
                ::pause();
            ::_exit(1);
        }
        auto reap =
            qScopeGuard([sonaro] { ::kill(sonaro, SIGKILL), ::waitpid(sonaro, nullptr, 0); });
        char byte;
        QCOMPARE(::read(ready[0], &byte, 1), 1);
        QCoreApplication::setApplicationName(u"Tintelle"_s);
        QVERIFY(!DialogClaim(u"0612345678"_s).isHeld());
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toString(), u"0612345678"_s);
        reap.dismiss();
        ::kill(sonaro, SIGKILL), ::waitpid(sonaro, nullptr, 0);
        QVERIFY(DialogClaim().isHeld());
    }

    // Copies go to one edition: one that can call, the first to ask, until it quits.
    void copyHandler_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("endpoint"); // empty: none
        QTest::addColumn<bool>("otherHolds");  // the other edition answers copies already
        QTest::addColumn<bool>("expected");
        const bool placeholder = QLatin1String(TINTELLE_SOAP_HOST) == WS::placeholderHost;
        QTest::addRow("can call") << "l"
                                  << "https://h.test/" << false << true;
        QTest::addRow("no login") << ""
                                  << "https://h.test/" << false << false;
        QTest::addRow("no provider address") << "l"
                                             << "" << false << !placeholder;
        QTest::addRow("the other first, then gone") << "l"
                                                    << "https://h.test/" << true << false;
    }

    void copyHandler()
    {
        QFETCH(QString, login);
        QFETCH(QString, endpoint);
        QFETCH(bool, otherHolds);
        QTemporaryDir dir;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
        QCoreApplication::setOrganizationName(u"Tintelle"_s);
        QSettings settings;
        settings.clear();
        QVERIFY(!CopyHandler::takesCopies()); // gives the role up, as it cannot call
        QLockFile other(PrivatePlace::folder() + u"/copies.lock"_s);
        QVERIFY(!otherHolds || other.tryLock(0));
        settings.setValue("login", login);
        if (!endpoint.isEmpty())
            settings.setValue("endpoint", endpoint);
        QTEST(CopyHandler::takesCopies(), "expected");
        if (!otherHolds)
            return;
        other.unlock();
        QVERIFY(CopyHandler::takesCopies());
    }

    // The real program's command line, with no display and a home of its own.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("platform"); // empty: none at all
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // in standard output; empty: none
        QTest::addRow("version") << QStringList{"--version"} << "" << 0
                                 << "Tintelle " TINTELLE_VERSION "\n";
        QTest::addRow("help") << QStringList{"-h"} << "" << 0 << "--autostart";
        QTest::addRow("unknown option") << QStringList{"--bogus"} << "offscreen" << 2 << "";
        QTest::addRow("two links")
            << QStringList{"tel:0612345678", "tel:0123456789"} << "offscreen" << 2 << "";
        QTest::addRow("not a link") << QStringList{"0612345678"} << "offscreen" << 2 << "";
        QTest::addRow("autostart, no login")
            << QStringList{"--autostart"} << "offscreen" << 0 << "";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, platform);
        QFETCH(int, status);
        QFETCH(QString, output);
        QTemporaryDir home;
        QProcessEnvironment environment;
        environment.insert(u"HOME"_s, home.path());
        environment.insert(u"PATH"_s, qEnvironmentVariable("PATH"));
        environment.insert(u"XDG_RUNTIME_DIR"_s, home.path()); // else Qt says so
        if (!platform.isEmpty())
            environment.insert(u"QT_QPA_PLATFORM"_s, platform);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TINTELLE_PROGRAM), arguments);
        QVERIFY(program.waitForFinished());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        QVERIFY2(output.isEmpty() ? out.isEmpty() : out.contains(output), qPrintable(out));
        // The usage on an error, and otherwise not a word.
        const QByteArray errors = program.readAllStandardError();
        QVERIFY2(status == 2 ? errors.contains("--autostart") : errors.isEmpty(), errors);
        QVERIFY(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
};

QTEST_GUILESS_MAIN(TestHandOver)
#include "tst_handover.moc"
