// What a later start hands over, and where: to the running copy, the other edition or no one.
#include "app/commandline.h"
#include "app/copyhandler.h"
#include "app/dialogclaim.h"
#include "app/privateplace.h"
#include "app/rolelock.h"
#include "app/singleinstance.h"
#include "service/providerconfig.h"
#include "service/ws.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Connects (or binds) `fd` to the socket at `path`.
bool connectTo(int fd, const QString &path, int (*op)(int, const sockaddr *, socklen_t) = ::connect)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
    return op(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

// Sends `bytes` to the guard at `path` as a start does, then waits for the guard to close the
// connection: by then it has dealt with them.
bool sendAndWaitForClose(const QString &path, const QByteArray &bytes)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    if (!connectTo(fd, path) ||
        ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) != bytes.size() ||
        ::shutdown(fd, SHUT_WR) != 0)
        return false;
    return QTest::qWaitFor([fd] {
        char byte;
        const ssize_t n = ::recv(fd, &byte, 1, 0);
        return n == 0 || (n < 0 && errno != EAGAIN);
    });
}

// Runs `hold` in a child that, once it succeeded, waits to be stopped; its PID, or -1.
template <typename Hold> pid_t holdInChild(Hold hold)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        if (hold() && ::write(ready[1], "", 1) == 1)
            ::pause();
        ::_exit(1);
    }
    ::close(ready[1]);
    char byte;
    const bool held = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    return held ? child : -1;
}

void stop(pid_t child)
{
    if (child > 0)
        ::kill(child, SIGKILL), ::waitpid(child, nullptr, 0);
}

// A guard listening in `folder`, as the running copy's.
struct Running
{
    explicit Running(const QString &folder)
        : guard(folder, u"guard"_s), spy(&guard, &SingleInstance::requested)
    {
    }
    SingleInstance guard;
    QSignalSpy spy;
    QStringList received() const
    {
        QStringList texts;
        for (const QList<QVariant> &arguments : spy)
            texts << arguments.first().toString();
        return texts;
    }
};

} // namespace

class TestHandOver : public QObject
{
    Q_OBJECT

public:
    // What lies at the guard's name, or holds its lock, when a later start comes.
    enum class Before {
        CrashedCopy,   // a socket left by a copy that crashed, taken over by the running one
        NoFolder,      // no private place
        Directory,     // a directory at the socket's name
        ForeignCopy,   // the running copy's socket given to another account
        ForeignSocket, // a crashed copy's socket of another account, and no copy
        ForeignPeer,   // our socket file, listened on by another account
        StartLockHeld, // another start holds the lock and never lets go
        BacklogFull    // a copy that accepts nothing more
    };
    Q_ENUM(Before)

    // The account's runtime folder.
    enum class Runtime { Private, Missing, GroupReadable, Link, Nobodys, OpenToAll };
    Q_ENUM(Runtime)

private slots:
    // The command line as the program reads it, and the text of its link for the recogniser.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("text");
        QTest::addRow("encoded") << QStringList{"--autostart", "TEL:%2B33%206%2012345678"} << true
                                 << "+33 6 12345678";
        QTest::addRow("callto") << QStringList{"CallTo://+44.20.7946"} << true << "//+44.20.7946";
        QTest::addRow("parameters") << QStringList{"tel:123;ext=3615"} << true << "123";
        QTest::addRow("not a link") << QStringList{"0612345678"} << false << "";
        QTest::addRow("two links") << QStringList{"tel:0612", "tel:0123"} << false << "";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        const CommandLine line(QStringList{u"tintelle"_s} + arguments);
        QTEST(line.isValid(), "valid");
        QTEST(line.linkText(), "text");
    }

    // The real program's command line, with a home of its own.
    void program_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // in standard output; empty: none
        QTest::addRow("help") << QStringList{"-h"} << 0 << "--autostart";
        QTest::addRow("unknown option") << QStringList{"--bogus"} << 2 << "";
        QTest::addRow("autostart, no login") << QStringList{"--autostart"} << 0 << "";
    }

    void program()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QTemporaryDir home;
        QProcess program;
        program.setEnvironment({u"HOME="_s + home.path(), u"XDG_RUNTIME_DIR="_s + home.path(),
                                u"QT_QPA_PLATFORM=offscreen"_s});
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

    // The private place every start of the user meets: never a folder others may reach.
    void privateFolder_data()
    {
        QTest::addColumn<Runtime>("runtime");
        QTest::addColumn<int>("existing"); // the mode of a place already there; 0: none
        QTest::addColumn<bool>("homeUsable");
        QTest::addColumn<QString>("expected");
        using R = Runtime;
        const QString account = "run/tintelle", home = "home/.cache/tintelle-";
        QTest::addRow("private") << R::Private << 0 << true << account;
        QTest::addRow("ours, readable by others: closed") << R::Private << 0755 << true << account;
        QTest::addRow("ours, others may write into it") << R::Private << 0775 << true << home;
        QTest::addRow("missing") << R::Missing << 0 << true << home;
        QTest::addRow("another account's") << R::Nobodys << 0 << true << home;
        QTest::addRow("group access") << R::GroupReadable << 0 << true << home;
        QTest::addRow("a link") << R::Link << 0 << true << home;
        QTest::addRow("nothing private") << R::OpenToAll << 0 << false << "";
    }

    void privateFolder()
    {
        QFETCH(Runtime, runtime);
        QFETCH(int, existing);
        QFETCH(bool, homeUsable);
        QFETCH(QString, expected);
        if (runtime == Runtime::Nobodys && ::geteuid() != 0)
            QSKIP("giving a folder to another account needs root");
        QTemporaryDir dir;
        const QDir root(dir.path());
        QVERIFY(::mkdir(QFile::encodeName(dir.filePath(u"private"_s)), 0700) == 0 &&
                root.mkdir(u"home"_s));
        const QByteArray run = QFile::encodeName(dir.filePath(u"run"_s));
        const QHash<Runtime, int> modes{{Runtime::OpenToAll, 01777},
                                        {Runtime::GroupReadable, 0750}};
        if (runtime == Runtime::Link)
            QVERIFY(QFile::link(dir.filePath(u"private"_s), run));
        else if (runtime != Runtime::Missing)
            QVERIFY(::mkdir(run, 0) == 0 && ::chmod(run, modes.value(runtime, 0700)) == 0);
        QVERIFY(runtime != Runtime::Nobodys || ::chown(run.constData(), 65534, 0) == 0);
        if (existing)
            QVERIFY(::mkdir(run + "/tintelle", 0) == 0 &&
                    ::chmod(run + "/tintelle", existing) == 0);
        for (const QString &home : {u"home/.cache"_s, u"home/.config"_s})
            QVERIFY(homeUsable ? root.mkdir(home)
                               : QFile(dir.filePath(home)).open(QFile::WriteOnly));

        const QString folder =
            PrivatePlace::folder({dir.filePath(u"run"_s), dir.filePath(u"home"_s)});
        QCOMPARE(folder.left(dir.path().size() + 1 + expected.size()),
                 expected.isEmpty() ? QString() : dir.filePath(expected));
        if (!expected.isEmpty())
            QCOMPARE(QFileInfo(folder).permissions() & QFile::Permissions(0x7077),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The real program, started with the session's own runtime folder or with none (su, ssh,
    // cron), finds the running copy and hands its link over: one copy, one dialog.
    void startsMeetTheCopy_data()
    {
        QTest::addColumn<bool>("sessionRuntime"); // XDG_RUNTIME_DIR names a private folder
        QTest::addRow("the session's runtime folder") << true;
        QTest::addRow("no runtime folder") << false;
    }

    void startsMeetTheCopy()
    {
        QFETCH(bool, sessionRuntime);
        QTemporaryDir account, session;
        qputenv("TINTELLE_TEST_ACCOUNT_RUNTIME", QFile::encodeName(account.path()));
        SingleInstance running(PrivatePlace::folder(), u"tintelle"_s);
        QCOMPARE(running.handOver(std::nullopt), SingleInstance::Start::Guarded);
        QSignalSpy spy(&running, &SingleInstance::requested);
        running.acceptRequests();
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"XDG_RUNTIME_DIR"_s);
        if (sessionRuntime)
            environment.insert(u"XDG_RUNTIME_DIR"_s, session.path());
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TINTELLE_PROGRAM), {u"tel:0612345678"_s});
        QVERIFY(QTest::qWaitFor([&] { return program.state() == QProcess::NotRunning; }));
        QCOMPARE(program.exitCode(), 0);
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toString(), u"0612345678"_s);
    }

    // What the running copy takes from a connection: "OPEN " and a number's text in UTF-8, at
    // most 1 KiB in all; anything else is dropped.
    void requests_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("taken");
        const QByteArray verb = "OPEN ";
        QTest::addRow("a number") << verb + "06 12" << true;
        QTest::addRow("the empty dialog") << verb << true;
        QTest::addRow("1 KiB") << verb + QByteArray(1019, '6') << true;
        QTest::addRow("a byte more") << verb + QByteArray(1020, '6') << false;
        QTest::addRow("no verb") << QByteArray("0612") << false;
        QTest::addRow("verb in lower case") << QByteArray("open 0612") << false;
        QTest::addRow("not UTF-8") << verb + "\xff" << false;
        QTest::addRow("cut inside a character") << verb + "06\xc3" << false;
    }

    void requests()
    {
        QFETCH(QByteArray, sent);
        QFETCH(bool, taken);
        QTemporaryDir dir;
        Running running(dir.path());
        QCOMPARE(running.guard.handOver(std::nullopt), SingleInstance::Start::Guarded);
        running.guard.acceptRequests();
        const QString socket = dir.filePath(u"guard.socket"_s);
        // A later request proves that the first one was dealt with, whatever became of it.
        QVERIFY(sendAndWaitForClose(socket, sent));
        QVERIFY(sendAndWaitForClose(socket, "OPEN later"));
        QTRY_VERIFY(running.received().endsWith(u"later"_s));
        QCOMPARE(running.received(),
                 (taken ? QStringList{QString::fromUtf8(sent.mid(5))} : QStringList()) +
                     QStringList{u"later"_s});
    }

    // A request that does not end is not read on: the client can no longer write, and is dropped.
    void longRequestUnread()
    {
        QTemporaryDir dir;
        Running running(dir.path());
        QCOMPARE(running.guard.handOver(std::nullopt), SingleInstance::Start::Guarded);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        const auto closing = qScopeGuard([fd] { ::close(fd); });
        QVERIFY(connectTo(fd, dir.filePath(u"guard.socket"_s)));
        const QByteArray chunk = "OPEN " + QByteArray(64 * 1024, '6');
        constexpr qint64 all = 16 * 1024 * 1024;
        qint64 sent = 0;
        QVERIFY(QTest::qWaitFor(
            [&] {
                for (ssize_t n = 0; sent < all; sent += n)
                    if ((n = ::send(fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL)) < 0)
                        return errno != EAGAIN;
                return true;
            },
            10000));
        QVERIFY2(sent < all, "the guard read the whole request");
    }

    // Requests received while the program starts: only the latest is kept.
    void latestBeforeReady()
    {
        QTemporaryDir dir;
        Running running(dir.path());
        QCOMPARE(running.guard.handOver(std::nullopt), SingleInstance::Start::Guarded);
        for (const char *request : {"OPEN 0611", "OPEN 0612"})
            QVERIFY(sendAndWaitForClose(dir.filePath(u"guard.socket"_s), request));
        running.guard.acceptRequests();
        QTRY_VERIFY(!running.spy.isEmpty());
        QCOMPARE(running.received(), QStringList{u"0612"_s});
    }

    // A later start hands over to the user's own copy only; what lies at the guard's name is
    // never removed, and a start that cannot be sure ends, saying why.
    void starts_data()
    {
        QTest::addColumn<Before>("before");
        QTest::addColumn<SingleInstance::Start>("start");
        QTest::addColumn<QString>("refusal"); // in what the user is told; empty: nothing
        using Start = SingleInstance::Start;
        const QString unsure = "ne peut pas vérifier", silent = "ne répond pas";
        QTest::addRow("crashed copy") << Before::CrashedCopy << Start::HandedOver << "";
        QTest::addRow("no private folder") << Before::NoFolder << Start::Unavailable << unsure;
        QTest::addRow("a directory") << Before::Directory << Start::Unavailable << unsure;
        QTest::addRow("foreign copy") << Before::ForeignCopy << Start::Unavailable << unsure;
        QTest::addRow("foreign socket") << Before::ForeignSocket << Start::Unavailable << unsure;
        QTest::addRow("foreign peer") << Before::ForeignPeer << Start::Unavailable << unsure;
        QTest::addRow("start lock held") << Before::StartLockHeld << Start::Unreachable << silent;
        QTest::addRow("backlog full") << Before::BacklogFull << Start::Unreachable << silent;
    }

    void starts()
    {
        QFETCH(Before, before);
        QFETCH(QString, refusal);
        if ((before == Before::ForeignCopy || before == Before::ForeignSocket ||
             before == Before::ForeignPeer) &&
            ::geteuid() != 0)
            QSKIP("giving a socket to another account needs root");
        QTemporaryDir dir;
        const QString name = dir.filePath(u"guard.socket"_s);
        const QByteArray path = QFile::encodeName(name);
        Running running(dir.path());
        QLockFile lock(dir.filePath(u"guard.lock"_s));
        std::vector<int> clients;
        pid_t peer = -1;
        auto cleanup = qScopeGuard([&] {
            stop(peer);
            for (int fd : clients)
                ::close(fd);
        });
        switch (before) {
        case Before::Directory:
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
            break;
        case Before::ForeignPeer:
            QVERIFY((peer = holdInChild([&name] {
                         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                         return connectTo(fd, name, ::bind) && ::setuid(65534) == 0 &&
                                ::listen(fd, 8) == 0;
                     })) > 0);
            break;
        case Before::ForeignSocket:
            QCOMPARE(::mknod(path.constData(), S_IFSOCK | 0600, 0), 0);
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
            break;
        default: // a copy runs, over a crashed copy's socket
            QCOMPARE(::mknod(path.constData(), S_IFSOCK | 0600, 0), 0);
            QCOMPARE(running.guard.handOver(std::nullopt), SingleInstance::Start::Guarded);
            QCOMPARE(QFile::permissions(name) & QFile::Permissions(0x0077), QFile::Permissions());
            running.guard.acceptRequests();
        }
        if (before == Before::ForeignCopy)
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
        QVERIFY(before != Before::StartLockHeld || lock.tryLock(0));
        if (before == Before::BacklogFull) { // no event loop runs: nothing is accepted
            do
                clients.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
            while (connectTo(clients.back(), name));
            QCOMPARE(errno, EAGAIN);
        }
        struct stat earlier = {}, after = {};
        const bool existed = ::lstat(path.constData(), &earlier) == 0;

        SingleInstance later(before == Before::NoFolder ? QString() : dir.path(), u"guard"_s);
        QTEST(later.handOver(u"0123456789"_s), "start");
        QCOMPARE(::lstat(path.constData(), &after) == 0, existed);
        QCOMPARE(after.st_ino, earlier.st_ino);
        QVERIFY2(refusal.isEmpty() ? later.refusal().isEmpty() : later.refusal().contains(refusal),
                 qPrintable(later.refusal()));
        if (refusal.isEmpty())
            QTRY_COMPARE(running.received(), QStringList{u"0123456789"_s});
    }

    // Idle clients, more than the descriptors left, do not keep a start out.
    void idleClients()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(u"guard.socket"_s);
        Running running(dir.path());
        QCOMPARE(running.guard.handOver(std::nullopt), SingleInstance::Start::Guarded);
        running.guard.acceptRequests();
        rlimit limit = {};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlimit saved = limit;
        std::vector<int> clients;
        auto cleanup = qScopeGuard([&] {
            for (int fd : clients)
                ::close(fd);
            ::setrlimit(RLIMIT_NOFILE, &saved);
        });
        limit.rlim_cur = QDir(u"/proc/self/fd"_s).count() + 500;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
        for (int i = 0; i < 400; ++i) {
            clients.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
            for (; !connectTo(clients.back(), name); QCoreApplication::processEvents())
                QCOMPARE(errno, EAGAIN);
            QCoreApplication::processEvents();
        }
        SingleInstance later(dir.path(), u"guard"_s);
        QCOMPARE(later.handOver(u"0123456789"_s), SingleInstance::Start::HandedOver);
        QTRY_COMPARE(running.received(), QStringList{u"0123456789"_s});
    }

    // When Qt closes the server on a failed accept() and removes its socket, it listens again.
    void acceptFailed()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(u"guard.socket"_s);
        Running running(dir.path());
        QCOMPARE(running.guard.handOver(std::nullopt), SingleInstance::Start::Guarded);
        running.guard.acceptRequests();
        rlimit limit = {};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlimit saved = limit;
        const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0), lowestFree = ::dup(0);
        ::close(lowestFree);
        limit.rlim_cur = lowestFree;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
        QVERIFY(connectTo(client, name));
        QTRY_VERIFY(!QFileInfo::exists(name));
        ::setrlimit(RLIMIT_NOFILE, &saved);
        ::close(client);
        QTRY_VERIFY(QFileInfo::exists(name));
        SingleInstance later(dir.path(), u"guard"_s);
        QCOMPARE(later.handOver(u"0123456789"_s), SingleInstance::Start::HandedOver);
        QTRY_COMPARE(running.received(), QStringList{u"0123456789"_s});
    }

    // One call dialog per user across editions: a refused opening goes to the edition whose
    // dialog is open; a crashed one's claim is taken over.
    void dialogClaim()
    {
        QTemporaryDir dir;
        qputenv("TINTELLE_TEST_ACCOUNT_RUNTIME", QFile::encodeName(dir.path()));
        SingleInstance holder(PrivatePlace::folder(), u"sonaro"_s);
        QCOMPARE(holder.handOver(std::nullopt), SingleInstance::Start::Guarded);
        QSignalSpy spy(&holder, &SingleInstance::requested);
        holder.acceptRequests();
        const pid_t sonaro = holdInChild([] { // held until the child is stopped
            return (new QLockFile(PrivatePlace::folder() + u"/dialog.lock"_s))->tryLock(0);
        });
        auto reap = qScopeGuard([sonaro] { stop(sonaro); });
        QVERIFY(sonaro > 0);
        QCoreApplication::setApplicationName(u"Tintelle"_s);
        QVERIFY(!DialogClaim(u"0612345678"_s).isHeld());
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toString(), u"0612345678"_s);
        reap.dismiss();
        stop(sonaro); // as in a crash
        QVERIFY(DialogClaim().isHeld());
    }

    // Copies go to one edition: one that can call, the first to ask.
    void copyHandler_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<bool>("endpoint"); // an "endpoint" setting names the provider
        QTest::addColumn<bool>("lockMade"); // the role's lock file can be made
        QTest::addColumn<bool>("expected");
        const bool placeholder = QLatin1String(TINTELLE_SOAP_HOST) == WS::placeholderHost;
        QTest::addRow("can call") << u"l"_s << true << true << true;
        QTest::addRow("an empty login") << u""_s << true << true << true;
        QTest::addRow("no provider address") << u"l"_s << false << true << !placeholder;
        QTest::addRow("no lock can be made") << u"l"_s << true << false << true;
    }

    void copyHandler()
    {
        QFETCH(QString, login);
        QFETCH(bool, endpoint);
        QFETCH(bool, lockMade);
        QTemporaryDir dir;
        QVERIFY(lockMade || QDir(dir.path()).mkdir(u"copies.lock"_s));
        QCoreApplication::setOrganizationName(u"Tintelle"_s);
        QSettings settings;
        settings.clear();
        settings.setValue("login", login);
        if (endpoint)
            settings.setValue("endpoint", u"https://h.test/"_s);
        CopyHandler::start(dir.path());
        QTEST(CopyHandler::takesCopies(), "expected");
    }

    // Tintelle, then Sonaro: Tintelle answers copies until it ends; then Sonaro takes them at
    // once, so that Tintelle started again finds them taken.
    void copiesPassOnAtOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"copies.lock"_s);
        QCoreApplication::setOrganizationName(u"Tintelle"_s);
        QSettings settings;
        settings.clear();
        settings.setValue("endpoint", u"https://h.test/"_s);
        const pid_t first = holdInChild([&path] { return (new RoleLock(path))->take(); });
        auto reap = qScopeGuard([first] { stop(first); });
        QVERIFY(first > 0);
        CopyHandler::start(dir.path());
        QVERIFY(!CopyHandler::takesCopies());
        reap.dismiss();
        stop(first);
        // What the edition started again finds, asking before any copy comes.
        QTRY_VERIFY(!RoleLock(path).take());
        QVERIFY(CopyHandler::takesCopies());
    }
};

QTEST_GUILESS_MAIN(TestHandOver)
#include "tst_handover.moc"
