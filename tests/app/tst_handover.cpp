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
#include <vector>

using namespace Qt::StringLiterals;

namespace {

bool connectTo(int fd, const QString &path, int (*op)(int, const sockaddr *, socklen_t) = ::connect)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
    return op(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

// Sends what it can of `bytes` to the guard at `path`, as a start does, until the guard closes the
// connection: by then it has dealt with them. How many bytes the guard let in, or -1.
qint64 sendUntilClosed(const QString &path, const QByteArray &bytes)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    qint64 sent = 0;
    const auto closed = [&] {
        for (ssize_t n = 0; sent < bytes.size(); sent += n)
            if ((n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent),
                            MSG_NOSIGNAL)) < 0)
                return errno != EAGAIN;
        char byte;
        const ssize_t n = ::shutdown(fd, SHUT_WR) == 0 ? ::recv(fd, &byte, 1, 0) : -1;
        return n == 0 || (n < 0 && errno != EAGAIN);
    };
    return connectTo(fd, path) && QTest::qWaitFor(closed) ? sent : -1;
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

QStringList texts(const QSignalSpy &spy)
{
    QStringList texts;
    for (const QList<QVariant> &arguments : spy)
        texts << arguments.first().toString();
    return texts;
}

} // namespace

class TestHandOver : public QObject
{
    Q_OBJECT
    inline static const bool placeholder =
        QLatin1String(TINTELLE_SOAP_HOST) == WS::placeholderHost; // no provider built in

public:
    // What lies at the guard's name, holds its lock or weighs on the copy when a start comes.
    enum class Before {
        CrashedCopy,   // a socket left by a copy that crashed, taken over by the running one
        IdleClients,   // more idle clients than the copy has descriptors left
        AcceptFailed,  // Qt closed the copy's server on a failed accept() and removed its socket
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
        QTest::addColumn<bool>("running");   // a copy listens, and ends when asked to quit
        QTest::addRow("help") << QStringList{"-h"} << 0 << "--autostart" << false;
        QTest::addRow("unknown option") << QStringList{"--bogus"} << 2 << "" << false;
        QTest::addRow("autostart, no login") << QStringList{"--autostart"} << 0 << "" << false;
        QTest::addRow("quit, none running") << QStringList{"--quit"} << 1 << "" << false;
        QTest::addRow("quit the running copy") << QStringList{"--quit"} << 0 << "" << true;
        QTest::addRow("quit with a link") << QStringList{"--quit", "tel:06"} << 2 << "" << true;
    }

    void program()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(bool, running);
        QTemporaryDir home;
        auto copy = std::make_unique<SingleInstance>(
            PrivatePlace::folder({home.path(), home.path()}), u"tintelle"_s);
        if (running) {
            QCOMPARE(copy->handOver(std::nullopt), SingleInstance::Start::Guarded);
            connect(copy.get(), &SingleInstance::quitRequested, this,
                    [&copy] { copy.release()->deleteLater(); });
            copy->acceptRequests();
        }
        QProcess program;
        program.setEnvironment({u"HOME="_s + home.path(), u"XDG_RUNTIME_DIR="_s + home.path(),
                                u"TINTELLE_TEST_ACCOUNT_RUNTIME="_s + home.path(),
                                u"QT_QPA_PLATFORM=offscreen"_s});
        program.start(QStringLiteral(TINTELLE_PROGRAM), arguments);
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 30000);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        QVERIFY2(output.isEmpty() ? out.isEmpty() : out.contains(output), qPrintable(out));
        // The usage on an error, and otherwise not a word.
        const QByteArray errors = program.readAllStandardError();
        QVERIFY2(status == 2 ? errors.contains("--autostart") : errors.isEmpty(), errors);
        // Nothing left but the guards' empty folder.
        copy.reset();
        const auto all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
        QCOMPARE(QDir(home.path()).entryList(all), QStringList{u"tintelle"_s});
        QVERIFY(QDir(home.path() + u"/tintelle"_s).isEmpty(all));
    }

    // The private place every start of the user meets: never a folder others may reach.
    void privateFolder_data()
    {
        QTest::addColumn<Runtime>("runtime");
        QTest::addColumn<int>("existing"); // the mode of a place already there; 0: none
        QTest::addColumn<QString>("expected");
        using R = Runtime;
        const QString account = "run/tintelle", home = "home/.cache/tintelle-";
        QTest::addRow("private") << R::Private << 0 << account;
        QTest::addRow("ours, readable by others: closed") << R::Private << 0755 << account;
        QTest::addRow("ours, others may write into it") << R::Private << 0775 << home;
        QTest::addRow("missing") << R::Missing << 0 << home;
        QTest::addRow("another account's") << R::Nobodys << 0 << home;
        QTest::addRow("group access") << R::GroupReadable << 0 << home;
        QTest::addRow("a link") << R::Link << 0 << home;
        QTest::addRow("nothing private, the home unusable") << R::OpenToAll << 0 << "";
    }

    void privateFolder()
    {
        QFETCH(Runtime, runtime);
        QFETCH(int, existing);
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
            QVERIFY(!expected.isEmpty() ? root.mkdir(home)
                                        : QFile(dir.filePath(home)).open(QFile::WriteOnly));

        const QString folder =
            PrivatePlace::folder({dir.filePath(u"run"_s), dir.filePath(u"home"_s)});
        QCOMPARE(folder.left(dir.path().size() + 1 + expected.size()),
                 expected.isEmpty() ? QString() : dir.filePath(expected));
        if (!expected.isEmpty())
            QCOMPARE(QFileInfo(folder).permissions() & QFile::Permissions(0x7077),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // What the running copy takes from a connection: "OPEN " and a number's text in UTF-8, at
    // most 1 KiB in all; anything else is dropped, and a request that does not end is not read.
    // While the program starts, only the latest request is kept.
    void requests_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<bool>("ready"); // the program is up: false, a later request replaces it
        const QByteArray verb = "OPEN ";
        QTest::addRow("a number") << verb + "06 12" << true << true;
        QTest::addRow("before the program is up") << verb + "06 12" << false << false;
        QTest::addRow("the empty dialog") << verb << true << true;
        QTest::addRow("1 KiB") << verb + QByteArray(1019, '6') << true << true;
        QTest::addRow("a byte more") << verb + QByteArray(1020, '6') << false << true;
        QTest::addRow("16 MiB") << verb + QByteArray(1 << 24, '6') << false << true;
        QTest::addRow("no verb") << QByteArray("0612") << false << true;
        QTest::addRow("verb in lower case") << QByteArray("open 0612") << false << true;
        QTest::addRow("not UTF-8") << verb + "\xff" << false << true;
        QTest::addRow("cut inside a character") << verb + "06\xc3" << false << true;
    }

    void requests()
    {
        QFETCH(QByteArray, sent);
        QFETCH(bool, taken);
        QFETCH(bool, ready);
        QTemporaryDir dir;
        SingleInstance running(dir.path(), u"guard"_s);
        QSignalSpy spy(&running, &SingleInstance::requested);
        QCOMPARE(running.handOver(std::nullopt), SingleInstance::Start::Guarded);
        if (ready)
            running.acceptRequests();
        const QString socket = dir.filePath(u"guard.socket"_s);
        const qint64 read = sendUntilClosed(socket, sent);
        QVERIFY(read > 0 && (sent.size() > 1 << 20 ? read < sent.size() : read == sent.size()));
        // A later request proves that the first one was dealt with, whatever became of it.
        QCOMPARE(sendUntilClosed(socket, "OPEN later"), 10);
        running.acceptRequests();
        QTRY_VERIFY(texts(spy).endsWith(u"later"_s));
        QStringList expected{u"later"_s};
        if (taken)
            expected.prepend(QString::fromUtf8(sent.mid(5)));
        QCOMPARE(texts(spy), expected);
    }

    // A later start hands over to the user's own copy only, asking for the empty dialog when its
    // link is too long to be a number; what lies at the guard's name is never removed, and a
    // start that cannot be sure ends, saying why.
    void starts_data()
    {
        QTest::addColumn<Before>("before");
        QTest::addColumn<SingleInstance::Start>("start");
        QTest::addColumn<QString>("refusal"); // in what the user is told; empty: nothing
        using Start = SingleInstance::Start;
        const QString unsure = "ne peut pas vérifier", silent = "ne répond pas";
        QTest::addRow("crashed copy") << Before::CrashedCopy << Start::HandedOver << "";
        QTest::addRow("idle clients") << Before::IdleClients << Start::HandedOver << "";
        QTest::addRow("accept() failed") << Before::AcceptFailed << Start::HandedOver << "";
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
        if (QByteArray(QTest::currentDataTag()).startsWith("foreign") && ::geteuid() != 0)
            QSKIP("giving a socket to another account needs root");
        QTemporaryDir dir;
        const QString name = dir.filePath(u"guard.socket"_s);
        const QByteArray path = QFile::encodeName(name);
        SingleInstance running(dir.path(), u"guard"_s);
        QSignalSpy spy(&running, &SingleInstance::requested);
        QLockFile lock(dir.filePath(u"guard.lock"_s));
        std::vector<int> clients;
        pid_t peer = -1;
        rlimit limit = {};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlimit saved = limit;
        auto cleanup = qScopeGuard([&] {
            stop(peer);
            for (int fd : clients)
                ::close(fd);
            ::setrlimit(RLIMIT_NOFILE, &saved);
        });
        const auto connectClient = [&] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
            if (connectTo(fd, name))
                return clients.push_back(fd), true;
            const int error = errno;
            ::close(fd);
            return errno = error, false;
        };
        if (before == Before::Directory) {
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
        } else if (before == Before::ForeignPeer) {
            QVERIFY((peer = holdInChild([&name] {
                         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                         return connectTo(fd, name, ::bind) && ::setuid(65534) == 0 &&
                                ::listen(fd, 8) == 0;
                     })) > 0);
        } else {
            QCOMPARE(::mknod(path.constData(), S_IFSOCK | 0600, 0), 0);
            if (before != Before::ForeignSocket) { // a copy runs, over a crashed copy's socket
                QCOMPARE(running.handOver(std::nullopt), SingleInstance::Start::Guarded);
                QCOMPARE(QFile::permissions(name) & QFile::Permissions(0x0077),
                         QFile::Permissions());
                running.acceptRequests();
            }
        }
        if (before == Before::ForeignCopy || before == Before::ForeignSocket)
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
        QVERIFY(before != Before::StartLockHeld || lock.tryLock(0));
        if (before == Before::BacklogFull) { // no event loop runs: nothing is accepted
            while (connectClient())
                ;
            QCOMPARE(errno, EAGAIN);
        } else if (before == Before::IdleClients) {
            limit.rlim_cur = QDir(u"/proc/self/fd"_s).count() + 500;
            QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
            for (int i = 0; i < 400; ++i, QCoreApplication::processEvents())
                for (; !connectClient(); QCoreApplication::processEvents())
                    QCOMPARE(errno, EAGAIN);
        } else if (before == Before::AcceptFailed) {
            const int lowestFree = ::dup(0);
            ::close(lowestFree);
            limit.rlim_cur = lowestFree + 1; // for the client alone
            QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
            QVERIFY(connectClient());
            QTRY_VERIFY(!QFileInfo::exists(name));
            ::setrlimit(RLIMIT_NOFILE, &saved);
            QTRY_VERIFY(QFileInfo::exists(name));
        }
        struct stat earlier = {}, after = {};
        const bool existed = ::lstat(path.constData(), &earlier) == 0;

        SingleInstance later(before == Before::NoFolder ? QString() : dir.path(), u"guard"_s);
        QTEST(later.handOver(QString(1100, u'6')), "start");
        QCOMPARE(::lstat(path.constData(), &after) == 0, existed);
        QCOMPARE(after.st_ino, earlier.st_ino);
        QVERIFY2(refusal.isEmpty() ? later.refusal().isEmpty() : later.refusal().contains(refusal),
                 qPrintable(later.refusal()));
        if (refusal.isEmpty()) // too long for a number: the empty dialog
            QTRY_COMPARE(texts(spy), QStringList{QString()});
    }

    // One call dialog per user across editions: a refused opening goes to the edition whose
    // dialog is open; a crashed one's claim is taken over.
    void dialogClaim()
    {
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
        DialogClaim claim(PrivatePlace::folder());
        QVERIFY(!claim.isHeld() && claim.forward(u"0612345678"_s));
        QTRY_COMPARE(texts(spy), QStringList{u"0612345678"_s});
        reap.dismiss();
        stop(sonaro); // as in a crash
        QVERIFY(DialogClaim(PrivatePlace::folder()).isHeld());
    }

    // Copies go to one edition: one that can call, the first to ask, until it ends; then the
    // other at once, so that the first, started again, finds them taken.
    void copyHandler_data()
    {
        QTest::addColumn<bool>("endpoint");   // an "endpoint" setting names the provider
        QTest::addColumn<bool>("lockMade");   // the role's lock file can be made
        QTest::addColumn<bool>("otherFirst"); // the other edition held the role, then ended
        QTest::addColumn<bool>("expected");
        QTest::addRow("an empty login") << true << true << false << true;
        QTest::addRow("no provider address") << false << true << false << !placeholder;
        QTest::addRow("no lock can be made") << true << false << false << true;
        QTest::addRow("the other first, then gone") << true << true << true << true;
    }

    void copyHandler()
    {
        QFETCH(bool, endpoint);
        QFETCH(bool, lockMade);
        QFETCH(bool, otherFirst);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"copies.lock"_s);
        QVERIFY(lockMade || QDir(dir.path()).mkdir(u"copies.lock"_s));
        QCoreApplication::setOrganizationName(u"Tintelle"_s);
        QSettings settings;
        settings.clear();
        settings.setValue("login", QString()); // stored, but empty: the provider judges it
        if (endpoint)
            settings.setValue("endpoint", u"https://h.test/"_s);
        const pid_t other =
            otherFirst ? holdInChild([&path] { return (new RoleLock(path))->take(); }) : 0;
        QVERIFY(other >= 0);
        CopyHandler::start(dir.path());
        if (otherFirst) {
            QVERIFY(!CopyHandler::takesCopies());
            stop(other);
            // What the first edition, started again, finds before any copy comes.
            QTRY_VERIFY(!RoleLock(path).take());
        }
        QTEST(CopyHandler::takesCopies(), "expected");
        // Once it cannot call, in this build, it leaves the copies to the other.
        settings.remove("endpoint");
        QCOMPARE(!CopyHandler::takesCopies() && RoleLock(path).take(), placeholder && lockMade);
    }
};

QTEST_GUILESS_MAIN(TestHandOver)
#include "tst_handover.moc"
