// Under Wine: what a neighbour, a link, the clipboard or the registry can do to the Windows build.
#include "app/clipboardreader.h"
#include "app/settingsfile.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <windows.h>
// After windows.h
#include <sddl.h>

using namespace Qt::StringLiterals;

namespace {

// The program's settings, which this test's names give SettingsFile too.
const wchar_t programKey[] = L"Software\\Tintelle\\Tintelle";
// Under Wine a program takes seconds to show its first window: a deadline to wait, not a speed.
constexpr int windowWait = 30000;
const QTemporaryDir work; // for the files a row makes

// A process ended with its scope, as QProcess ends it, without the warning.
struct Process : QProcess
{
    ~Process() override { kill(), waitForFinished(); }
    // What it printed that was not read yet, once ended.
    QByteArray end() { return kill(), waitForFinished(), readAllStandardOutput(); }
    bool says(const QByteArray &word)
    {
        return (canReadLine() || waitForReadyRead(windowWait)) && readLine().trimmed() == word;
    }
    // Starts another program than Tintelle (tests/windows/winpeer.cpp): true once in place.
    bool startPeer(const QStringList &arguments)
    {
        start(u"Z:" TINTELLE_WINPEER ""_s, arguments);
        return says("ready");
    }
};

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), (text.size() + 1) * 2);
}

void setValue(const QString &name, DWORD type, const QByteArray &data)
{
    ::RegSetKeyValueW(HKEY_CURRENT_USER, programKey,
                      reinterpret_cast<const wchar_t *>(name.utf16()), type, data.constData(),
                      DWORD(data.size()));
}

// Gives the key an access list that lets no one read it (denied) or anyone in, as its owner may.
bool restrict(bool denied)
{
    HKEY key = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const bool done =
        ::RegOpenKeyExW(HKEY_CURRENT_USER, programKey, 0, WRITE_DAC, &key) == ERROR_SUCCESS &&
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            denied ? L"D:" : L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr) &&
        ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    ::LocalFree(descriptor);
    ::RegCloseKey(key);
    return done;
}

// The visible top-level windows of process `pid`, or those of the title `title`, visible or not:
// under Wine on a bare X server, a box may stay hidden.
QList<HWND> windowsOf(qint64 pid, const QString &title = QString())
{
    QList<HWND> found;
    const auto *name = title.isEmpty() ? nullptr : reinterpret_cast<const wchar_t *>(title.utf16());
    for (HWND window = nullptr; (window = ::FindWindowExW(nullptr, window, nullptr, name));) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == DWORD(pid) && (name || ::IsWindowVisible(window)))
            found.append(window);
    }
    return found;
}

// Starts the program with the command line `line` after its path, as the system gives it.
bool start(QProcess &process, const QString &line)
{
    process.setProgram(u"Z:" TINTELLE_PROGRAM ""_s);
    process.setNativeArguments(line);
    // What it logs, on its standard error rather than the debugger's.
    process.setEnvironment(QProcess::systemEnvironment() << u"QT_FORCE_STDERR_LOGGING=1"_s);
    process.start();
    return process.waitForStarted();
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { cleanup(); }

    // Also after a failure: a key left unreadable would keep the next test from its settings.
    void cleanup()
    {
        restrict(false);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, programKey);
    }

    // The registry's key, checked before Qt reads it: unreadable, over 1 MiB, not text: refused.
    void settings_data()
    {
        QTest::addColumn<QString>("name"); // of the key's one value; empty: no key
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("denied"); // the key's access list lets no one read it
        QTest::addColumn<bool>("readable");
        const QByteArray number = utf16(u"0102030405"_s), dword(4, '\1');
        QTest::addRow("no key") << "" << REG_SZ << number << false << true;
        QTest::addRow("unreadable key") << "number" << REG_SZ << number << true << false;
        QTest::addRow("to expand")
            << "number" << REG_EXPAND_SZ << utf16(u"%USERNAME%0102"_s) << false << false;
        QTest::addRow("a DWORD") << "copytwice" << REG_DWORD << dword << false << false;
        QTest::addRow("at the cap")
            << "password" << REG_SZ << utf16(QString((1 << 19) - 1, u'x')) << false << true;
        QTest::addRow("over the cap")
            << "password" << REG_SZ << utf16(QString(1 << 19, u'x')) << false << false;
        QTest::addRow("of no use to the program, any type")
            << "other" << REG_DWORD << dword << false << true;
    }

    void settings()
    {
        QFETCH(QString, name);
        QFETCH(int, type);
        QFETCH(QByteArray, data);
        QFETCH(bool, denied);
        if (!name.isEmpty())
            setValue(name, DWORD(type), data);
        QVERIFY(!denied || restrict(true));
        QTEST(SettingsFile::isReadable(), "readable");
    }

    // Read aside from the event loop: a hung owner costs its own copy only; over 1 MiB reads empty.
    void clipboard_data()
    {
        QTest::addColumn<bool>("hung"); // an owner promised text, never rendered, before the copy
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("taken");
        QTest::addRow("after a hung owner") << true << 14 << QString(14, u'6');
        QTest::addRow("at the cap") << false << (1 << 20) << QString(1 << 20, u'6');
        QTest::addRow("over the cap") << false << (1 << 20) + 1 << QString();
    }

    void clipboard()
    {
        QFETCH(bool, hung);
        QFETCH(int, length);
        QStringList read;
        std::unique_ptr<ClipboardReader> reader;
        // As the watcher does, at each change and once the text has come.
        const auto check = [&] {
            QString text;
            if (reader->read(text))
                read.append(text);
        };
        reader = std::make_unique<ClipboardReader>(check);
        Process owner;
        if (hung) {
            QVERIFY(owner.startPeer({u"hold-clipboard"_s}));
            check();
            QVERIFY(owner.says("asked")); // the reader waits on it
        }
        QTRY_VERIFY_WITH_TIMEOUT(::OpenClipboard(nullptr), windowWait);
        const QByteArray units = utf16(QString(length, u'6'));
        const HGLOBAL data = ::GlobalAlloc(GMEM_MOVEABLE, SIZE_T(units.size()));
        std::memcpy(::GlobalLock(data), units.constData(), size_t(units.size()));
        ::GlobalUnlock(data);
        const bool copied = ::EmptyClipboard() && ::SetClipboardData(CF_UNICODETEXT, data);
        ::CloseClipboard();
        QVERIFY(copied);
        check();
        QTRY_VERIFY_WITH_TIMEOUT(!read.isEmpty(), windowWait);
        QTEST(read.constLast(), "taken");
    }

    // The real program beside a neighbour (another program's process on the guard's pipe, silent
    // or answering junk and printing what it read; a copy; a hung owner), through a link, or on
    // oversized settings. Status 1 comes with a box, closed for the program to end.
    void program_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("line"); // after the program's path
        QTest::addColumn<int>("status");   // -1: runs on, with the dialog of its link
        // How the system opens a link with the command registered for tel:, and the earlier one.
        const QString link = u"--single-argument %1"_s, earlier = u"\"%1\""_s,
                      sheet = u"tel:0612345678\" -stylesheet \"%1"_s.arg(
                          QDir::toNativeSeparators(work.filePath(u"wide.qss"_s)));
        QTest::addRow("plain start, squatter answering junk") << "junk squatter" << QString() << 1;
        QTest::addRow("a link, silent squatter") << "silent squatter" << link.arg(u"tel:06"_s) << 1;
        QTest::addRow("at login, silent squatter") << "silent squatter" << u"--autostart"_s << 1;
        QTest::addRow("at login, beside a copy") << "copy" << u"--autostart"_s << 0;
        QTest::addRow("style sheet in a link") << QString() << link.arg(sheet) << -1;
        QTest::addRow("style sheet, earlier handler") << QString() << earlier.arg(sheet) << 2;
        QTest::addRow("platform in a link, beside a copy")
            << "copy" << link.arg(u"tel:0612345678 -platform nowhere"_s) << 0;
        QTest::addRow("a link after a hung clipboard owner is answered")
            << "hung owner" << link.arg(u"tel:0612345678"_s) << 0;
        QTest::addRow("oversized value") << "oversized" << QString() << 1;
    }

    void program()
    {
        QFETCH(QString, situation);
        QFETCH(QString, line);
        QFETCH(int, status);
        setValue(u"login"_s, REG_SZ, utf16(u"alice"_s));
        setValue(u"endpoint"_s, REG_SZ, utf16(u"https://127.0.0.1:1/"_s));
        setValue(u"password"_s, REG_SZ,
                 utf16(QString(situation == u"oversized" ? 1 << 20 : 6, u's')));
        QFile sheet(work.filePath(u"wide.qss"_s));
        QVERIFY(sheet.open(QFile::WriteOnly | QFile::Unbuffered) &&
                sheet.write("QDialog { min-width: 1500px; }"));

        Process peer, copy, later;
        if (situation.endsWith(u"squatter"))
            QVERIFY(peer.startPeer({u"squat"_s, u"tintelle"_s, situation.section(u' ', 0, 0)}));
        if (situation == u"copy" || situation == u"hung owner") {
            // Its link's dialog opens once the clipboard is watched; closed, for the next to show.
            QVERIFY(start(copy, u"tel:0612345678"_s));
            QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(copy.processId()).isEmpty(), windowWait);
            for (HWND window : windowsOf(copy.processId())) // as the user's Escape would
                ::PostMessageW(window, WM_CLOSE, 0, 0);
            QTRY_VERIFY_WITH_TIMEOUT(windowsOf(copy.processId()).isEmpty(), windowWait);
        }
        if (situation == u"hung owner") {
            QVERIFY(peer.startPeer({u"hold-clipboard"_s}));
            QVERIFY(peer.says("asked")); // by the copy's reader: hung from now on
        }
        QVERIFY(start(later, line));
        const qint64 pid = later.processId();
        if (status == -1) {
            QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(pid).isEmpty(), windowWait);
            RECT frame = {};
            QVERIFY(::GetWindowRect(windowsOf(pid).constFirst(), &frame) &&
                    frame.right - frame.left < 1500);
            return;
        }
        if (status == 1) {
            QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(pid, u"Tintelle"_s).isEmpty(), windowWait);
            for (HWND box : windowsOf(pid, u"Tintelle"_s))
                ::PostMessageW(box, WM_CLOSE, 0, 0);
        }
        QTRY_VERIFY_WITH_TIMEOUT(later.state() == QProcess::NotRunning, windowWait);
        QCOMPARE(later.exitCode(), status);
        // A squatter is sent nothing, and the user is told that it keeps the program from starting.
        QVERIFY(!situation.endsWith(u"squatter") ||
                (peer.end().isEmpty() && later.readAllStandardError().contains("ne peut pas v")));
        // A link beside a copy opens the copy's dialog for its number.
        if (copy.processId() && line.startsWith(u"--single-argument"))
            QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(copy.processId()).isEmpty(), windowWait);
    }
};

// The clipboard's reader starts this program again to read.
int main(int argc, char *argv[])
{
    if (const std::optional<int> status = ClipboardReader::serveReading(argc, argv))
        return *status;
    QCoreApplication application(argc, argv);
    application.setOrganizationName(u"Tintelle"_s);
    application.setApplicationName(u"Tintelle"_s);
    TestWindows test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_windows.moc"
