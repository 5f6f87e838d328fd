// Under Wine: what a neighbour, a link, the clipboard or the registry can do to the Windows build.
// The program's own windows are Win32 ones on the test's X display; the test itself is offscreen.
#include "app/clipboardreader.h"
#include "app/rolelock.h"
#include "app/settingsfile.h"
#include "app/singleinstance.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <memory>
#include <windows.h>
// After windows.h

using namespace Qt::StringLiterals;

namespace {

const QString programPath = u"Z:" TINTELLE_PROGRAM ""_s;
const QString winpeer = u"Z:" TINTELLE_WINPEER ""_s;
const wchar_t programKey[] = L"Software\\Tintelle\\Tintelle";
const wchar_t testKey[] = L"Software\\TintelleTest";
// Under Wine a program takes seconds to show its first window: a deadline to wait, not a speed.
constexpr int windowWait = 30000;

// A process of another program than Tintelle (tests/windows/winpeer.cpp), until the test ends.
struct Peer
{
    explicit Peer(const QStringList &arguments)
    {
        process.start(winpeer, arguments);
        ready = process.waitForReadyRead() && process.readLine().trimmed() == "ready";
    }
    ~Peer() { received(); }
    // Whether the peer has said `word` by now.
    bool said(const QByteArray &word)
    {
        process.waitForReadyRead(20);
        while (process.canReadLine())
            heard = heard || process.readLine().trimmed() == word;
        return heard;
    }
    QByteArray received()
    {
        process.kill();
        process.waitForFinished();
        return process.readAllStandardOutput();
    }
    QProcess process;
    bool ready = false;
    bool heard = false;
};

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), (text.size() + 1) * 2);
}

void setValue(const wchar_t *path, const QString &name, DWORD type, const QByteArray &data)
{
    HKEY key = nullptr;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr);
    ::RegSetValueExW(key, reinterpret_cast<const wchar_t *>(name.utf16()), 0, type,
                     reinterpret_cast<const BYTE *>(data.constData()), DWORD(data.size()));
    ::RegCloseKey(key);
}

// Gives `path` an access list that lets no one read it (denied) or anyone in, as its owner may.
bool restrict(const wchar_t *path, bool denied)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR descriptor;
    ACL empty;
    const bool done =
        ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        ::InitializeAcl(&empty, sizeof empty, ACL_REVISION) &&
        ::SetSecurityDescriptorDacl(&descriptor, TRUE, denied ? &empty : nullptr, FALSE) &&
        ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return done;
}

void removeKey(const wchar_t *path)
{
    restrict(path, false);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, path);
}

// Puts `text` on the clipboard, as any program copies, waiting for it to be free.
bool copy(const QString &text)
{
    for (int tries = 0; !::OpenClipboard(nullptr); ++tries) {
        if (tries == windowWait / 20)
            return false;
        ::Sleep(20);
    }
    const QByteArray units = utf16(text);
    const HGLOBAL data = ::GlobalAlloc(GMEM_MOVEABLE, SIZE_T(units.size()));
    std::memcpy(::GlobalLock(data), units.constData(), size_t(units.size()));
    ::GlobalUnlock(data);
    const bool done = ::EmptyClipboard() && ::SetClipboardData(CF_UNICODETEXT, data);
    ::CloseClipboard();
    return done;
}

// The visible top-level windows of process `pid`, or those of the title `title`, visible or not:
// under Wine on a bare X server, a box may stay hidden.
QList<HWND> windowsOf(DWORD pid, const QString &title = QString())
{
    struct Search
    {
        DWORD pid;
        QString title;
        QList<HWND> found;
    } search{pid, title, {}};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto *search = reinterpret_cast<Search *>(data);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            wchar_t title[64] = {};
            ::GetWindowTextW(window, title, 64);
            if (owner == search->pid &&
                (search->title.isEmpty() ? ::IsWindowVisible(window)
                                         : search->title == QString::fromWCharArray(title)))
                search->found.append(window);
            return TRUE;
        },
        LPARAM(&search));
    return search.found;
}

// Starts the program in `process`: by its command line, or as the system opens a link, by the
// command registered for tel:, its "%1" replaced with the link as it is. Its windows are its own,
// which the test can see.
bool start(QProcess &process, const QString &link, const QString &command,
           const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"QT_QPA_PLATFORM"_s);
    process.setProcessEnvironment(environment);
    process.setProgram(programPath);
    if (link.isEmpty())
        process.setArguments(arguments);
    else // after the program's quoted path
        process.setNativeArguments(
            command.mid(command.indexOf(u'"', 1) + 2).replace(u"%1"_s, link));
    process.start();
    return process.waitForStarted();
}

// Ends the boxes of `pid` as the user's Escape would.
bool closeBoxes(DWORD pid)
{
    const QList<HWND> boxes = windowsOf(pid, u"Tintelle"_s);
    for (HWND box : boxes)
        ::PostMessageW(box, WM_CLOSE, 0, 0);
    return !boxes.isEmpty();
}

// Someone holds the role of the edition that answers copies: a copy taken it after its guard.
bool answersCopies()
{
    RoleLock probe(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                   u"/Tintelle/run/copies.lock"_s);
    return !probe.take();
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(u"TintelleTest"_s);
        QCoreApplication::setApplicationName(u"tst_windows"_s);
    }

    void cleanupTestCase()
    {
        removeKey(testKey);
        removeKey(programKey);
    }

    // What the registry's key holds, checked before Qt reads it: as the file on Linux, over 1 MiB
    // or unreadable is refused, and every setting must be text.
    void settings_data()
    {
        QTest::addColumn<QString>("name"); // of the key's one value; empty: no key
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("denied"); // the key's access list lets no one read it
        QTest::addColumn<bool>("readable");
        const QByteArray number = utf16(u"0102030405"_s);
        QTest::addRow("no key") << "" << REG_SZ << number << false << true;
        QTest::addRow("text") << "number" << REG_SZ << number << false << true;
        QTest::addRow("unreadable key") << "number" << REG_SZ << number << true << false;
        QTest::addRow("a list") << "number" << REG_MULTI_SZ << utf16(u"0102030405\0"_s) << false
                                << false;
        QTest::addRow("to expand")
            << "number" << REG_EXPAND_SZ << utf16(u"%USERNAME%0102"_s) << false << false;
        QTest::addRow("a DWORD") << "copytwice" << REG_DWORD << QByteArray(4, '\1') << false
                                 << false;
        QTest::addRow("at the cap")
            << "password" << REG_SZ << utf16(QString((1 << 19) - 1, u'x')) << false << true;
        QTest::addRow("over the cap")
            << "password" << REG_SZ << utf16(QString(1 << 19, u'x')) << false << false;
        QTest::addRow("of no use to the program, any type")
            << "other" << REG_DWORD << QByteArray(4, '\1') << false << true;
    }

    void settings()
    {
        QFETCH(QString, name);
        QFETCH(int, type);
        QFETCH(QByteArray, data);
        QFETCH(bool, denied);
        const std::wstring path =
            QStringLiteral("%1\\tst_windows").arg(QString::fromWCharArray(testKey)).toStdWString();
        const auto remove = [&path] {
            restrict(path.c_str(), false);
            removeKey(testKey);
        };
        remove();
        auto cleanup = qScopeGuard(remove);
        if (!name.isEmpty())
            setValue(path.c_str(), name, DWORD(type), data);
        QVERIFY(!denied || restrict(path.c_str(), true));
        QTEST(SettingsFile::isReadable(), "readable");
    }

    // The guard hands over only to a copy of this account's Tintelle: a process of another
    // program that took the pipe's name first is told to the user, and sent nothing.
    void guard_data()
    {
        QTest::addColumn<QString>("server"); // "": none; "copy"; a squatter, "silent" or "junk"
        QTest::addColumn<bool>("looks");     // only looks for a copy (a start at login)
        QTest::addColumn<SingleInstance::Start>("start");
        using Start = SingleInstance::Start;
        QTest::addRow("no one") << "" << false << Start::Guarded;
        QTest::addRow("a copy") << "copy" << false << Start::HandedOver;
        QTest::addRow("a copy, at login") << "copy" << true << Start::HandedOver;
        QTest::addRow("a squatter") << "silent" << false << Start::Unavailable;
        QTest::addRow("a squatter answering junk") << "junk" << false << Start::Unavailable;
        QTest::addRow("a squatter, at login") << "silent" << true << Start::Unavailable;
    }

    void guard()
    {
        QFETCH(QString, server);
        QFETCH(bool, looks);
        QTemporaryDir dir;
        const QString name = u"guardtest"_s;
        SingleInstance running(dir.path(), name);
        QSignalSpy spy(&running, &SingleInstance::requested);
        std::unique_ptr<Peer> squatter;
        if (server == u"copy") {
            QCOMPARE(running.handOver(std::nullopt), SingleInstance::Start::Guarded);
            running.acceptRequests();
        } else if (!server.isEmpty()) {
            squatter = std::make_unique<Peer>(QStringList{u"squat"_s, name, server});
            QVERIFY(squatter->ready);
        }
        // From another thread: the running copy reads in this one's event loop.
        SingleInstance::Start start = SingleInstance::Start::Guarded;
        const std::unique_ptr<QThread> later(QThread::create([&] {
            SingleInstance instance(dir.path(), name);
            start = instance.handOver(looks ? std::nullopt : std::optional(u"0612345678"_s));
        }));
        later->start();
        QTRY_VERIFY(later->isFinished());
        QTEST(start, "start");
        if (squatter)
            QCOMPARE(squatter->received(), QByteArray());
        if (server == u"copy" && !looks) {
            QTRY_COMPARE(spy.size(), 1);
            QCOMPARE(spy.first().first().toString(), u"0612345678"_s);
        }
    }

    // The clipboard is read aside from the event loop: an owner that never renders what it
    // promised costs its own copy only. A text over 1 MiB reads as empty.
    void clipboard_data()
    {
        QTest::addColumn<bool>("hung"); // an owner promised text, never rendered, before the copy
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("taken");
        QTest::addRow("a copy") << false << 14 << true;
        QTest::addRow("after a hung owner") << true << 14 << true;
        QTest::addRow("at the cap") << false << (1 << 20) << true;
        QTest::addRow("over the cap") << false << (1 << 20) + 1 << false;
    }

    void clipboard()
    {
        QFETCH(bool, hung);
        QFETCH(int, length);
        QFETCH(bool, taken);
        const QString text = QString(length, u'6');
        QStringList read;
        std::unique_ptr<ClipboardReader> reader;
        // As the watcher does, at each change and once the text has come.
        const auto check = [&] {
            QString taken;
            if (reader->read(taken))
                read.append(taken);
        };
        reader = std::make_unique<ClipboardReader>(check);
        std::unique_ptr<Peer> owner;
        if (hung) {
            owner = std::make_unique<Peer>(QStringList{u"hold-clipboard"_s});
            QVERIFY(owner->ready);
            check();
            QTRY_VERIFY(owner->said("asked")); // the reader waits on it
        }
        QVERIFY(copy(text));
        check();
        QTRY_VERIFY(!read.isEmpty() && read.constLast() == (taken ? text : QString()));
    }

    // The real program, started beside a neighbour, through a link, or on odd settings.
    void program_data()
    {
        QTest::addColumn<QString>("situation"); // "squatter", "copy", "unreadable"
        QTest::addColumn<QString>("link");      // opened as the system opens links; else:
        QTest::addColumn<QString>("command");   // the handler registered for tel:
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status"); // -1: runs on, with the dialog of its link
        QTest::addColumn<bool>("box");   // shows a box, closed for it to end
        const QString handler = u"\"%1\" --single-argument %2"_s.arg(
                          QDir::toNativeSeparators(programPath), u"%1"_s),
                      earlier =
                          u"\"%1\" \"%2\""_s.arg(QDir::toNativeSeparators(programPath), u"%1"_s),
                      sheet = u"tel:0612345678\" -stylesheet \"%1"_s.arg(
                          QDir::toNativeSeparators(QDir::current().filePath(u"wide.qss"_s)));
        const QStringList none, tel{u"tel:06"_s}, autostart{u"--autostart"_s};
        const QString no;
        QTest::addRow("plain start, squatter") << "squatter" << no << no << none << 1 << true;
        QTest::addRow("link, squatter") << "squatter" << no << no << tel << 1 << true;
        QTest::addRow("at login, beside a copy") << "copy" << no << no << autostart << 0 << false;
        QTest::addRow("style sheet in a link") << no << sheet << handler << none << -1 << false;
        QTest::addRow("style sheet, earlier handler")
            << no << sheet << earlier << none << 2 << false;
        QTest::addRow("platform in a link, beside a copy")
            << "copy"
            << "tel:0612345678 -platform nowhere" << handler << none << 0 << false;
        QTest::addRow("unreadable key") << "unreadable" << no << no << none << 1 << true;
        QTest::addRow("oversized value") << "oversized" << no << no << none << 1 << true;
    }

    void program()
    {
        QFETCH(QString, situation);
        QFETCH(QString, link);
        QFETCH(QString, command);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(bool, box);
        removeKey(programKey);
        auto cleanup = qScopeGuard([] { removeKey(programKey); });
        setValue(programKey, u"login"_s, REG_SZ, utf16(u"alice"_s));
        setValue(programKey, u"endpoint"_s, REG_SZ, utf16(u"https://127.0.0.1:1/"_s));
        setValue(programKey, u"password"_s, REG_SZ,
                 utf16(QString(situation == u"oversized" ? 1 << 20 : 6, u's')));
        QVERIFY(situation != u"unreadable" || restrict(programKey, true));
        QFile sheet(u"wide.qss"_s);
        QVERIFY(sheet.open(QFile::WriteOnly) && sheet.write("QDialog { min-width: 1500px; }"));
        sheet.close();

        std::unique_ptr<Peer> squatter;
        QProcess copy, later;
        const auto stop = qScopeGuard([&] {
            for (QProcess *process : {&copy, &later})
                process->kill(), process->waitForFinished();
        });
        if (situation == u"squatter") {
            squatter = std::make_unique<Peer>(QStringList{u"squat"_s, u"tintelle"_s, u"junk"_s});
            QVERIFY(squatter->ready);
        } else if (situation == u"copy") {
            QVERIFY(start(copy, QString(), QString(), QStringList()));
            // Up, its guard listening: it holds the role of the edition that answers copies.
            QTRY_VERIFY_WITH_TIMEOUT(answersCopies(), windowWait);
        }
        QVERIFY(start(later, link, command, arguments));
        const DWORD pid = DWORD(later.processId());
        if (status == -1) {
            QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(pid).isEmpty(), windowWait);
            RECT frame = {};
            QVERIFY(::GetWindowRect(windowsOf(pid).constFirst(), &frame) &&
                    frame.right - frame.left < 1500);
            return;
        }
        if (box)
            QTRY_VERIFY_WITH_TIMEOUT(closeBoxes(pid), windowWait);
        QTRY_VERIFY_WITH_TIMEOUT(later.state() == QProcess::NotRunning, windowWait);
        QCOMPARE(later.exitCode(), status);
        if (squatter)
            QCOMPARE(squatter->received(), QByteArray());
        // A link beside a copy opens the copy's dialog for its number.
        if (copy.processId() && !link.isEmpty())
            QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(DWORD(copy.processId())).isEmpty(), windowWait);
    }
};

// The clipboard's reader starts this program again to read.
int main(int argc, char *argv[])
{
    if (const std::optional<int> status = ClipboardReader::serveReading(argc, argv))
        return *status;
    QCoreApplication application(argc, argv);
    TestWindows test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_windows.moc"
