// What a later start hands over, and where: to the running copy, the other edition or no one.
#include "app/commandline.h"
#include "app/copyhandler.h"
#include "app/dialogclaim.h"
#include "app/privateplace.h"
#include "app/singleinstance.h"
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

} // namespace

class TestHandOver : public QObject
{
    Q_OBJECT

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
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
        auto copy = std::make_unique<SingleInstance>(PrivatePlace::folder(), u"tintelle"_s);
        if (running) {
            QCOMPARE(copy->handOver(std::nullopt), SingleInstance::Start::Guarded);
            connect(copy.get(), &SingleInstance::quitRequested, this,
                    [&copy] { copy.release()->deleteLater(); });
            copy->acceptRequests();
        }
        QProcess program;
        program.setEnvironment({u"HOME="_s + home.path(), u"XDG_RUNTIME_DIR="_s + home.path(),
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
        QTest::addColumn<QString>("runtime"); // what XDG_RUNTIME_DIR names
        QTest::addColumn<bool>("account");    // the account's runtime folder exists, private
        QTest::addColumn<bool>("homeUsable");
        QTest::addColumn<QString>("expected");
        QTest::addRow("private runtime") << "own" << true << true << "run/tintelle";
        QTest::addRow("unset") << "" << true << true << "account/tintelle";
        QTest::addRow("another account's") << "nobody" << true << true << "account/tintelle";
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
        const QDir root(dir.path());
        QVERIFY(::mkdir(QFile::encodeName(dir.filePath(u"private"_s)), 0700) == 0 &&
                root.mkdir(u"home"_s));
        const QString run = dir.filePath(u"run"_s);
        const QHash<QString, int> modes{{u"open"_s, 01777}, {u"group"_s, 0750}};
        QVERIFY(runtime == u"link"
                    ? QFile::link(dir.filePath(u"private"_s), run)
                    : root.mkdir(u"run"_s) &&
                          ::chmod(QFile::encodeName(run), modes.value(runtime, 0700)) == 0);
        QVERIFY(runtime != u"nobody" || ::chown(QFile::encodeName(run).constData(), 65534, 0) == 0);
        QVERIFY(!account || ::mkdir(QFile::encodeName(dir.filePath(u"account"_s)), 0700) == 0);
        for (const QString &home : {u"home/.cache"_s, u"home/.config"_s})
            QVERIFY(homeUsable ? root.mkdir(home)
                               : QFile(dir.filePath(home)).open(QFile::WriteOnly));

        const QString folder =
            PrivatePlace::folder({runtime.isEmpty() ? QString() : run, dir.filePath(u"account"_s),
                                  dir.filePath(u"home"_s)});
        QCOMPARE(folder.left(dir.path().size() + 1 + expected.size()),
                 expected.isEmpty() ? QString() : dir.filePath(expected));
        if (!expected.isEmpty())
            QCOMPARE(QFileInfo(folder).permissions() & QFile::Permissions(0x7077),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The running copy takes a crashed copy's socket over, drops garbage, keeps only the latest
    // request and listens through idle connections and a failed accept(). Only the user's own
    // socket is handed to; what lies at its name is never removed.
    void handOver_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QByteArray>("earlier"); // a request before the later start's
        QTest::addColumn<SingleInstance::Start>("start");
        using Start = SingleInstance::Start;
        QTest::addRow("no verb") << "" << QByteArray("0612") << Start::HandedOver;
        QTest::addRow("not UTF-8") << "" << QByteArray("OPEN \xff") << Start::HandedOver;
        QTest::addRow("long") << QString() << "OPEN " + QByteArray(1020, '6') << Start::HandedOver;
        QTest::addRow("earlier request") << "" << QByteArray("OPEN 0611") << Start::HandedOver;
        QTest::addRow("idle connections") << "idle" << QByteArray() << Start::HandedOver;
        QTest::addRow("accept() failed") << "accept fails" << QByteArray() << Start::HandedOver;
        QTest::addRow("no private folder") << "no folder" << QByteArray() << Start::Unavailable;
        QTest::addRow("a directory") << "directory" << QByteArray() << Start::Unavailable;
        QTest::addRow("foreign copy") << "foreign copy" << QByteArray() << Start::Unavailable;
        QTest::addRow("foreign socket") << "foreign socket" << QByteArray() << Start::Unavailable;
        QTest::addRow("foreign peer") << "foreign peer" << QByteArray() << Start::Unavailable;
        QTest::addRow("start lock held") << "lock" << QByteArray() << Start::Unreachable;
        QTest::addRow("backlog full") << "backlog" << QByteArray() << Start::Unreachable;
    }

    void handOver()
    {
        QFETCH(QString, situation);
        QFETCH(QByteArray, earlier);
        if (situation.startsWith(u"foreign") && ::geteuid() != 0)
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
        const auto release = [&] {
            stop(std::exchange(peer, -1));
            for (int fd : std::exchange(clients, {}))
                ::close(fd);
            ::setrlimit(RLIMIT_NOFILE, &saved);
        };
        auto cleanup = qScopeGuard(release);
        if (situation == u"directory") {
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
        } else if (situation == u"foreign peer") { // our socket file, listened on as nobody
            QVERIFY((peer = holdInChild([&name] {
                         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                         return connectTo(fd, name, ::bind) && ::setuid(65534) == 0 &&
                                ::listen(fd, 8) == 0;
                     })) > 0);
        } else { // over a crashed copy's socket
            QCOMPARE(::mknod(path.constData(), S_IFSOCK | 0600, 0), 0);
            if (situation != u"foreign socket")
                QCOMPARE(running.handOver(std::nullopt), SingleInstance::Start::Guarded);
            QCOMPARE(QFile::permissions(name) & QFile::Permissions(0x0077), QFile::Permissions());
        }
        if (situation.startsWith(u"foreign ") && situation != u"foreign peer")
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
        QVERIFY(situation != u"lock" || lock.tryLock(0));
        if (situation == u"backlog") { // no event loop runs: nothing is accepted
            do
                clients.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
            while (connectTo(clients.back(), name));
            QCOMPARE(errno, EAGAIN);
        }
        if (situation == u"idle") { // too few descriptors to keep them all besides the clients
            limit.rlim_cur = QDir(u"/proc/self/fd"_s).count() + 500;
            QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
            for (int i = 0; i < 400; ++i) {
                clients.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
                for (; !connectTo(clients.back(), name); QCoreApplication::processEvents())
                    QCOMPARE(errno, EAGAIN);
                QCoreApplication::processEvents();
            }
        }
        if (!earlier.isEmpty()) {
            QLocalSocket client;
            client.connectToServer(name);
            QVERIFY(client.waitForConnected() && client.write(earlier) &&
                    client.waitForBytesWritten());
            client.disconnectFromServer();
            QTest::qWait(200); // received before the later start's request
        }
        if (situation == u"accept fails") { // Qt closes the server and removes its socket
            const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0),
                      lowestFree = ::dup(0);
            ::close(lowestFree);
            limit.rlim_cur = lowestFree;
            QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
            QVERIFY(connectTo(client, name));
            QTRY_VERIFY(!QFileInfo::exists(name));
            ::setrlimit(RLIMIT_NOFILE, &saved);
            ::close(client);
            QTRY_VERIFY(QFileInfo::exists(name));
        }
        struct stat before = {}, after = {};
        const bool existed = ::lstat(path.constData(), &before) == 0;

        SingleInstance later(situation == u"no folder" ? QString() : dir.path(), u"guard"_s);
        QTEST(later.handOver(u"0123456789"_s), "start");
        QCOMPARE(::lstat(path.constData(), &after) == 0, existed);
        QCOMPARE(after.st_ino, before.st_ino);
        if (!later.refusal().isEmpty())
            return;
        release();
        QTest::qWait(200); // for both requests to be received before the program is ready
        running.acceptRequests();
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toString(), u"0123456789"_s);
    }

    // One call dialog per user across editions: a refused opening goes to the edition whose
    // dialog is open; a crashed one's claim is taken over.
    void dialogClaim()
    {
        QTemporaryDir dir;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
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

    // Copies go to one edition: one that can call, the first to ask, until it quits.
    void copyHandler_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("endpoint"); // empty: none
        QTest::addColumn<bool>("otherHolds");  // the other edition answers copies already
        QTest::addColumn<bool>("expected");
        const bool placeholder = QLatin1String(TINTELLE_SOAP_HOST) == WS::placeholderHost;
        const QString at = u"https://h.test/"_s, none;
        QTest::addRow("can call") << u"l"_s << at << false << true;
        QTest::addRow("no login") << none << at << false << false;
        QTest::addRow("no provider address") << u"l"_s << none << false << !placeholder;
        QTest::addRow("the other first, then gone") << u"l"_s << at << true << false;
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
        other.unlock();
        QVERIFY(!otherHolds || CopyHandler::takesCopies());
    }
};

QTEST_GUILESS_MAIN(TestHandOver)
#include "tst_handover.moc"
