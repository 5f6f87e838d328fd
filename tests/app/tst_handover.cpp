// What a later start hands over, and where: to the running copy, the other edition or no one.
#include "app/copyhandler.h"
#include "app/dialogclaim.h"
#include "app/privateplace.h"
#include "app/rolelock.h"
#include "app/singleinstance.h"
#include "service/providerconfig.h"
#include "service/ws.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using Start = SingleInstance::Start;

bool connectTo(int fd, const QString &path, int (*op)(int, const sockaddr *, socklen_t) = ::connect)
{
    sockaddr_un address = {AF_UNIX, {}};
    qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
    return op(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

// Sends `bytes` to the guard at `path` as a start does, until it closes: how many it let in, or -1.
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

// Runs `hold` in a child that, once it succeeded, waits until the guard returned goes; null if not.
template <typename Hold> std::shared_ptr<pid_t> holdInChild(Hold hold)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return {};
    const std::shared_ptr<pid_t> child(new pid_t(::fork()), [](pid_t *pid) {
        if (*pid > 0)
            ::kill(*pid, SIGKILL), ::waitpid(*pid, nullptr, 0);
        delete pid;
    });
    if (*child == 0)
        ::_exit(hold() && ::write(ready[1], "", 1) == 1 ? ::pause() : 1);
    ::close(ready[1]);
    char byte;
    const bool held = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    return held ? child : nullptr;
}

// The texts `guard` is asked to show, as they come.
std::shared_ptr<QStringList> recordRequests(SingleInstance &guard)
{
    auto texts = std::make_shared<QStringList>();
    QObject::connect(&guard, &SingleInstance::requested,
                     [texts](const QString &t) { *texts << t; });
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
    enum class Before { Copy, Early, Idle, NoAccept, Nowhere, File, Foreign, Peer, Locked, Full };
    Q_ENUM(Before)

private slots:
    // The real program's command line, with a home of its own.
    void program_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("running");    // a copy listens, and ends when asked to quit
        QTest::addColumn<QString>("request"); // what the link asks it to show; empty: nothing
        using L = QStringList;
        QTest::addRow("help") << L{"-h"} << 0 << false << "";
        QTest::addRow("unknown option") << L{"--bogus"} << 2 << false << "";
        QTest::addRow("autostart, no login") << L{"--autostart"} << 0 << false << "";
        QTest::addRow("quit, none running") << L{"--quit"} << 1 << false << "";
        QTest::addRow("quit the running copy") << L{"--quit"} << 0 << true << "";
        QTest::addRow("quit with a link") << L{"--quit", "tel:06"} << 2 << true << "";
        QTest::addRow("not a link") << L{"0612345678"} << 2 << false << "";
        QTest::addRow("two links") << L{"tel:0612", "tel:0123"} << 2 << false << "";
        QTest::addRow("encoded") << L{"TEL:%2B33%206%2012345678"} << 0 << true << "+33 6 12345678";
        QTest::addRow("callto") << L{"CallTo://+44.20.7946"} << 0 << true << "//+44.20.7946";
        QTest::addRow("parameters") << L{"tel:123;ext=3615"} << 0 << true << "123";
        QTest::addRow("no number: the scheme") << L{"tel:"} << 0 << true << "tel:";
    }

    void program()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, request);
        QTemporaryDir home;
        auto copy = std::make_unique<SingleInstance>(
            PrivatePlace::folder({home.path(), home.path()}), u"tintelle"_s);
        const auto asked = recordRequests(*copy);
        if (QFETCH(bool, running); running) {
            QCOMPARE(copy->handOver(std::nullopt), Start::Guarded);
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
        QTEST(program.exitCode(), "status");
        // The usage where asked for, or on an error, and otherwise not a word.
        const QByteArray out = program.readAllStandardOutput(),
                         err = program.readAllStandardError();
        QVERIFY2(arguments[0] == u"-h"_s ? out.contains("--autostart") : out.isEmpty(), out);
        QVERIFY2(program.exitCode() == 2 ? err.contains("--autostart") : err.isEmpty(), err);
        if (!request.isEmpty())
            QTRY_COMPARE(*asked, QStringList{request});
        copy.reset(); // nothing left but the guards' empty folder
        QVERIFY(QDir(home.path()).rmdir(u"tintelle"_s));
        QVERIFY(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    // The private place every start of the user meets: never a folder others may reach.
    void privateFolder_data()
    {
        QTest::addColumn<int>("runtime");  // the account's runtime folder's mode; 0: a link
        QTest::addColumn<bool>("foreign"); // it is another account's
        QTest::addColumn<int>("existing"); // the mode of a place already there; 0: none
        QTest::addColumn<QString>("expected");
        const QString account = "run/tintelle", home = "home/.cache/tintelle-";
        QTest::addRow("private") << 0700 << false << 0 << account;
        QTest::addRow("ours, readable by others: closed") << 0700 << false << 0755 << account;
        QTest::addRow("ours, others may write into it") << 0700 << false << 0775 << home;
        QTest::addRow("another account's") << 0700 << true << 0 << home;
        QTest::addRow("group access") << 0750 << false << 0 << home;
        QTest::addRow("a link to a private folder") << 0 << false << 0 << home;
        QTest::addRow("nothing private, the home unusable") << 01777 << false << 0 << "";
    }

    void privateFolder()
    {
        QFETCH(int, runtime);
        QFETCH(bool, foreign);
        QFETCH(int, existing);
        QFETCH(QString, expected);
        if (foreign && ::geteuid() != 0)
            QSKIP("giving a folder to another account needs root");
        QTemporaryDir dir;
        const QByteArray run = QFile::encodeName(dir.filePath(u"run"_s)), other = run + "-other";
        if (!runtime)
            QVERIFY(::mkdir(other, 0700) == 0 && QFile::link(other, run));
        else
            QVERIFY(::mkdir(run, 0) == 0 && ::chmod(run, runtime) == 0);
        QVERIFY(!foreign || ::chown(run.constData(), 65534, 0) == 0);
        QVERIFY(!existing ||
                (::mkdir(run + "/tintelle", 0) == 0 && ::chmod(run + "/tintelle", existing) == 0));
        QVERIFY(QDir(dir.path()).mkdir(u"home"_s));
        for (const QString &home : {u"home/.cache"_s, u"home/.config"_s})
            QVERIFY(!expected.isEmpty() ? QDir(dir.path()).mkdir(home)
                                        : QFile(dir.filePath(home)).open(QFile::WriteOnly));
        const QString folder =
            PrivatePlace::folder({dir.filePath(u"run"_s), dir.filePath(u"home"_s)});
        QCOMPARE(folder.left(dir.path().size() + 1 + expected.size()),
                 expected.isEmpty() ? QString() : dir.filePath(expected));
        QVERIFY(expected.isEmpty() || (QFile::permissions(folder).toInt() & 0x7077) == 0x7000);
    }

    // A later start hands over to the user's own copy only, removes nothing, or ends saying why.
    // The copy takes "OPEN " and UTF-8 up to 1 KiB, drops the rest unread; starting, the latest.
    void starts_data()
    {
        QTest::addColumn<Before>("before");
        QTest::addColumn<QByteArrayList>("sent"); // to the copy first, in turn, as by other starts
        QTest::addColumn<QStringList>("shown");   // what the copy was asked to show, in order
        QTest::addColumn<Start>("start");
        using B = Before;
        using S = Start;
        using L = QByteArrayList;
        const QByteArray verb = "OPEN ", kib = verb + QByteArray(1019, '6');
        const L no, huge{verb + QByteArray(1 << 24, '6')};
        const QStringList none, empty{QString()};
        const S over = S::HandedOver;
        QTest::addRow("1 KiB") << B::Copy << L{kib} << QStringList{kib.mid(5), {}} << over;
        QTest::addRow("a byte more") << B::Copy << L{kib + '6'} << empty << over;
        QTest::addRow("16 MiB") << B::Copy << huge << empty << over;
        QTest::addRow("no verb") << B::Copy << L{"0612"} << empty << over;
        QTest::addRow("cut inside a character") << B::Copy << L{verb + "06\xc3"} << empty << over;
        QTest::addRow("to a copy still starting: the latest")
            << B::Early << L{verb + "06", verb + "07"} << QStringList{"07", {}} << over;
        QTest::addRow("idle clients") << B::Idle << no << empty << over;
        QTest::addRow("accept() failed") << B::NoAccept << no << empty << over;
        QTest::addRow("no private folder") << B::Nowhere << no << none << S::Unavailable;
        QTest::addRow("a file at the socket's name") << B::File << no << none << S::Unavailable;
        QTest::addRow("foreign copy") << B::Foreign << no << none << S::Unavailable;
        QTest::addRow("foreign peer") << B::Peer << no << none << S::Unavailable;
        QTest::addRow("start lock held") << B::Locked << no << none << S::Unreachable;
        QTest::addRow("backlog full") << B::Full << no << none << S::Unreachable;
    }

    void starts()
    {
        QFETCH(Before, before);
        QFETCH(QByteArrayList, sent);
        QFETCH(QStringList, shown);
        QFETCH(Start, start);
        if (QByteArray(QTest::currentDataTag()).startsWith("foreign") && ::geteuid() != 0)
            QSKIP("giving a socket to another account needs root");
        QTemporaryDir dir;
        const QString name = dir.filePath(u"guard.socket"_s);
        const QByteArray path = QFile::encodeName(name);
        SingleInstance running(dir.path(), u"guard"_s);
        const auto asked = recordRequests(running);
        QLockFile lock(dir.filePath(u"guard.lock"_s));
        QList<int> clients;
        std::shared_ptr<pid_t> peer;
        rlimit limit = {};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlimit saved = limit;
        auto cleanup = qScopeGuard([&] {
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
        if (before == Before::File) {
            QVERIFY(QFile(name).open(QFile::WriteOnly));
        } else if (before == Before::Peer) {
            QVERIFY(peer = holdInChild([&name] {
                        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                        return connectTo(fd, name, ::bind) && ::setuid(65534) == 0 &&
                               ::listen(fd, 8) == 0;
                    }));
        } else { // a copy runs, over a crashed copy's socket, closed to others
            QCOMPARE(::mknod(path.constData(), S_IFSOCK | 0600, 0), 0);
            QCOMPARE(running.handOver(std::nullopt), Start::Guarded);
            QCOMPARE(QFile::permissions(name) & QFile::Permissions(0x0077), QFile::Permissions());
            if (before != Before::Early)
                running.acceptRequests();
        }
        QVERIFY(before != Before::Foreign || ::chown(path.constData(), 65534, 65534) == 0);
        QVERIFY(before != Before::Locked || lock.tryLock(0));
        if (before == Before::Full) { // no event loop runs: nothing is accepted
            while (connectClient())
                ;
            QCOMPARE(errno, EAGAIN);
        } else if (before == Before::Idle) {
            limit.rlim_cur = QDir(u"/proc/self/fd"_s).count() + 500;
            QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
            for (int i = 0; i < 400; ++i, QCoreApplication::processEvents())
                for (; !connectClient(); QCoreApplication::processEvents())
                    QCOMPARE(errno, EAGAIN);
        } else if (before == Before::NoAccept) {
            const int lowestFree = ::dup(0);
            ::close(lowestFree);
            limit.rlim_cur = lowestFree + 1; // for the client alone
            QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
            QVERIFY(connectClient());
            QTRY_VERIFY(!QFile::exists(name));
            ::setrlimit(RLIMIT_NOFILE, &saved);
            QTRY_VERIFY(QFile::exists(name));
        }
        for (const QByteArray &bytes : sent) { // all it lets in, but what never ends
            const qint64 read = sendUntilClosed(name, bytes);
            QCOMPARE(read, bytes.size() > 1 << 20 ? qBound<qint64>(1, read, bytes.size() - 1)
                                                  : bytes.size());
        }
        struct stat earlier = {}, after = {};
        const bool existed = ::lstat(path.constData(), &earlier) == 0;

        SingleInstance later(before == Before::Nowhere ? QString() : dir.path(), u"guard"_s);
        QCOMPARE(later.handOver(QString(1100, u'6')), start);
        QCOMPARE(::lstat(path.constData(), &after) == 0, existed);
        QCOMPARE(after.st_ino, earlier.st_ino);
        QCOMPARE(later.refusal().contains("ne répond pas"), start == Start::Unreachable);
        QCOMPARE(later.refusal().contains("ne peut pas vérifier"), start == Start::Unavailable);
        running.acceptRequests();
        QTRY_COMPARE(*asked, shown);
    }

    // A refused opening goes to the edition whose dialog is open; a crashed one's claim is taken.
    void dialogClaim()
    {
        SingleInstance holder(PrivatePlace::folder(), u"sonaro"_s);
        const auto asked = recordRequests(holder);
        QCOMPARE(holder.handOver(std::nullopt), Start::Guarded);
        holder.acceptRequests();
        auto sonaro = holdInChild([] { // held until the child is stopped
            return (new QLockFile(PrivatePlace::folder() + u"/dialog.lock"_s))->tryLock(0);
        });
        QVERIFY(sonaro);
        QCoreApplication::setApplicationName(u"Tintelle"_s);
        DialogClaim claim(PrivatePlace::folder());
        QVERIFY(!claim.isHeld() && claim.forward(u"0612345678"_s));
        QTRY_COMPARE(*asked, QStringList{u"0612345678"_s});
        sonaro.reset(); // as in a crash
        QVERIFY(DialogClaim(PrivatePlace::folder()).isHeld());
        // Left by a copy that ended with its dialog open and had this process's number.
        QFile left(PrivatePlace::folder() + u"/dialog.lock"_s);
        QByteArray ours;
        if (QLockFile lock(left.fileName()); lock.tryLock(0) && left.open(QIODevice::ReadOnly))
            ours = left.readAll();
        left.close();
        QVERIFY(!ours.isEmpty() && left.open(QIODevice::WriteOnly) && left.write(ours) > 0);
        left.close();
        const DialogClaim taken(PrivatePlace::folder()); // held by this process: no second one
        QVERIFY(taken.isHeld() && !DialogClaim(PrivatePlace::folder()).isHeld());
    }

    // Copies go to one edition that can call, the first to ask (two run on the desktop test).
    void copyHandler_data()
    {
        QTest::addColumn<bool>("endpoint"); // an "endpoint" setting names the provider
        QTest::addColumn<bool>("lockMade"); // the role's lock file can be made
        QTest::addColumn<bool>("expected");
        QTest::addRow("an empty login") << true << true << true;
        QTest::addRow("no provider address") << false << true << !placeholder;
        QTest::addRow("no lock can be made") << true << false << true;
    }

    void copyHandler()
    {
        QFETCH(bool, lockMade);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"copies.lock"_s);
        QVERIFY(lockMade || QDir(dir.path()).mkdir(u"copies.lock"_s));
        QCoreApplication::setOrganizationName(u"Tintelle"_s);
        QSettings settings;
        settings.clear();
        settings.setValue("login", QString()); // stored, but empty: the provider judges it
        if (QFETCH(bool, endpoint); endpoint)
            settings.setValue("endpoint", u"https://h.test/"_s);
        CopyHandler::start(dir.path());
        QTEST(CopyHandler::takesCopies(), "expected");
        settings.remove("endpoint");
        QCOMPARE(!CopyHandler::takesCopies() && RoleLock(path).take(), placeholder && lockMade);
    }
};

QTEST_GUILESS_MAIN(TestHandOver)
#include "tst_handover.moc"
