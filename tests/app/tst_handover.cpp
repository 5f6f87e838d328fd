// What a later start hands over: a link's number, and its request on the guard's socket.
#include "app/dialogclaim.h"
#include "app/phonelink.h"
#include "app/singleinstance.h"
#include "service/phonenumber.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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
        QTest::addColumn<int>("idle"); // connections held open, never speaking
        QTest::addRow("no verb") << QByteArray("0612") << 0;
        QTest::addRow("not UTF-8") << QByteArray("OPEN \xff") << 0;
        QTest::addRow("oversized") << "OPEN " + QByteArray(1020, '6') << 0;
        QTest::addRow("an earlier request") << QByteArray("OPEN 0611111111") << 0;
        QTest::addRow("idle connections") << QByteArray() << 400;
    }

    void guard()
    {
        QFETCH(QByteArray, earlier);
        QFETCH(int, idle);
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

    // The guard's folder is private, else there is no guard: never a shared one such as /tmp.
    void privateFolder_data()
    {
        QTest::addColumn<QString>("runtime"); // what XDG_RUNTIME_DIR names
        QTest::addColumn<bool>("homeUsable"); // the cache and configuration homes
        QTest::addColumn<QString>("expected");
        QTest::addRow("private runtime") << "own" << true << "run/tintelle";
        QTest::addRow("unset") << "" << true << "cache/tintelle-";
        QTest::addRow("another account's") << "nobody" << true << "cache/tintelle-";
        QTest::addRow("world-writable") << "open" << true << "cache/tintelle-";
        QTest::addRow("a link") << "link" << true << "cache/tintelle-";
        QTest::addRow("nothing private") << "open" << false << "";
    }

    void privateFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(bool, homeUsable);
        QFETCH(QString, expected);
        if (runtime == u"nobody" && ::geteuid() != 0)
            QSKIP("giving a folder to another account needs root");
        QTemporaryDir dir;
        for (const char *folder : {"run", "private", "tmp"})
            QVERIFY(QDir(dir.path()).mkdir(QString::fromLatin1(folder)));
        const QByteArray run = QFile::encodeName(dir.filePath(u"run"_s));
        QCOMPARE(::chmod(run.constData(), runtime == u"open" ? 01777 : 0700), 0);
        if (runtime == u"nobody")
            QCOMPARE(::chown(run.constData(), 65534, 65534), 0);
        if (runtime == u"link")
            QVERIFY(QDir(dir.path()).rmdir(u"run"_s) &&
                    QFile::link(dir.filePath(u"private"_s), QString::fromLocal8Bit(run)));
        qputenv("XDG_RUNTIME_DIR", runtime.isEmpty() ? QByteArray() : run);
        for (const char *home : {"cache", "config"}) {
            const QString path = dir.filePath(QString::fromLatin1(home));
            QVERIFY(homeUsable ? QDir().mkdir(path) : QFile(path).open(QIODevice::WriteOnly));
            qputenv(home == QByteArray("cache") ? "XDG_CACHE_HOME" : "XDG_CONFIG_HOME",
                    QFile::encodeName(path));
        }
        const QDir tmp(dir.filePath(u"tmp"_s));
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));

        const QString folder = SingleInstance::privateFolder();
        QCOMPARE(folder.left(dir.path().size() + 1 + expected.size()),
                 expected.isEmpty() ? QString() : dir.filePath(expected));
        SingleInstance guard(folder, u"tintelle"_s);
        QCOMPARE(guard.handOver(QString()), expected.isEmpty() ? SingleInstance::Start::Unguarded
                                                               : SingleInstance::Start::Guarded);
        QVERIFY(tmp.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
        if (!expected.isEmpty())
            QCOMPARE(QFileInfo(folder).permissions() & QFile::Permissions(0x7077),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Only the user's own socket is handed to, and what is not one is never removed.
    void notHandedTo_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<bool>("socket"); // else a directory at the socket's name
        QTest::addRow("another account's copy") << true << true;
        QTest::addRow("another account's stale socket") << false << true;
        QTest::addRow("a directory") << false << false;
    }

    void notHandedTo()
    {
        QFETCH(bool, listening);
        QFETCH(bool, socket);
        if (socket && ::geteuid() != 0)
            QSKIP("giving a socket to another account needs root");
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.filePath(u"guard.socket"_s));
        SingleInstance owner(dir.path(), u"guard"_s);
        QSignalSpy spy(&owner, &SingleInstance::requested);
        owner.acceptRequests();
        if (listening)
            QCOMPARE(owner.handOver(QString()), SingleInstance::Start::Guarded);
        else
            QCOMPARE(socket ? ::mknod(path.constData(), S_IFSOCK | 0600, 0)
                            : ::mkdir(path.constData(), 0700),
                     0);
        if (socket)
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);

        QCOMPARE(SingleInstance(dir.path(), u"guard"_s).handOver(u"0611111111"_s),
                 SingleInstance::Start::Unguarded);
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

    // A start waits a bounded while for the lock that another start holds, then runs unguarded
    // rather than take the socket beside it.
    void startLockHeld()
    {
        QTemporaryDir dir;
        // Another open file: to flock() as good as another process.
        QFile lock(dir.filePath(u"guard.lock"_s));
        QVERIFY(lock.open(QIODevice::WriteOnly) && ::flock(lock.handle(), LOCK_EX) == 0);
        QCOMPARE(SingleInstance(dir.path(), u"guard"_s).handOver(QString()),
                 SingleInstance::Start::Unguarded);
        QVERIFY(!QFileInfo::exists(dir.filePath(u"guard.socket"_s)));
    }

    // One call dialog per user across both editions.
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
