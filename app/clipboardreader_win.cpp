#include "clipboardreader.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>
#include <chrono>
#include <cwchar>
#include <memory>
#include <utility>
#include <windows.h>

namespace {

// An owner that has not given its text within this is taken for hung: that copy is skipped, and
// the process reading it ended.
constexpr std::chrono::seconds answerWait(2);
// An owner whose window does not answer within this would not render its text either.
constexpr UINT ownerProbeMs = 1000;
// A larger text reads as empty, and never reaches the program.
constexpr SIZE_T textCap = ClipboardReader::textCap;
const QString readOption = QStringLiteral("--read-clipboard");
// Other programs hold the clipboard open for a moment while they write to it.
constexpr int openTries = 10;
constexpr DWORD openRetryMs = 20;

// Whether the memory block `data` holds at most textCap units of `unit` bytes, its end included.
bool withinCap(HANDLE data, SIZE_T unit)
{
    return data && ::GlobalSize(data) <= (textCap + 1) * unit;
}

// The clipboard's text: Windows asks an owner that promised text to render it, and waits for it,
// with the clipboard held open for every program meanwhile (and, under Wine, every other read of
// the process held up). Hence a process of its own, ended at the deadline.
QString readText()
{
    // An owner whose window answers nothing would hold the clipboard open, for everyone, until it
    // ends: its copy is skipped before the clipboard is opened.
    if (HWND owner = ::GetClipboardOwner()) {
        DWORD_PTR answer = 0;
        if (!::SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                   ownerProbeMs, &answer) &&
            ::IsWindow(owner))
            return {};
    }
    int tries = 0;
    while (!::OpenClipboard(nullptr)) {
        if (++tries == openTries)
            return {};
        ::Sleep(openRetryMs);
    }
    // A text kept in an 8-bit form is measured in it, before Windows widens it into a copy twice
    // as large.
    UINT first = 0;
    for (UINT format = 0; !first && (format = ::EnumClipboardFormats(format));)
        if (format == CF_UNICODETEXT || format == CF_TEXT || format == CF_OEMTEXT)
            first = format;
    QString text;
    const bool small = first == CF_UNICODETEXT || withinCap(::GetClipboardData(first), 1);
    const HANDLE data = small ? ::GetClipboardData(CF_UNICODETEXT) : nullptr;
    if (small) {
        if (withinCap(data, sizeof(wchar_t))) {
            if (const auto *units = static_cast<const wchar_t *>(::GlobalLock(data))) {
                const size_t length = wcsnlen(units, ::GlobalSize(data) / sizeof(wchar_t));
                text = QString::fromWCharArray(units, int(length));
                ::GlobalUnlock(data);
            }
        }
    }
    ::CloseClipboard();
    return text;
}

} // namespace

// Reads the clipboard in a process of its own, the program started again with --read-clipboard,
// as the X11 reader asks the owner without waiting: an owner that never renders its text costs
// one skipped copy, ended at the deadline with its process, and the event loop never waits on it.
// A large text stays in that process. While a read runs, further changes only ask for one more
// read once it ends: a flood of changes costs the reading of the last one.
class ClipboardReader::Private
{
public:
    explicit Private(std::function<void()> textReady) : textReady(std::move(textReady))
    {
        deadline.setSingleShot(true);
        deadline.setInterval(answerWait);
        QObject::connect(&deadline, &QTimer::timeout, &context, [this] {
            abandon();
            if (std::exchange(again, false))
                start();
        });
    }

    ~Private() { abandon(); }

    bool read(QString &text)
    {
        if (std::exchange(ready, false)) {
            text = std::move(this->text);
            return true;
        }
        if (reader)
            again = true;
        else
            start();
        return false;
    }

private:
    void start()
    {
        reader = new QProcess(&context);
        QObject::connect(reader, &QProcess::finished, &context,
                         [this, process = reader] { finished(process); });
        reader->start(QCoreApplication::applicationFilePath(), {readOption});
        deadline.start();
    }

    void abandon()
    {
        deadline.stop();
        if (QProcess *process = std::exchange(reader, nullptr)) {
            process->disconnect(&context);
            process->kill();
            process->waitForFinished(); // at once: killed
            process->deleteLater();
        }
    }

    void finished(QProcess *process)
    {
        if (process != reader)
            return;
        const QByteArray units = process->readAllStandardOutput();
        abandon();
        if (std::exchange(again, false)) // the clipboard changed meanwhile: only the latest counts
            return start();
        text = units.size() <= qsizetype(textCap * sizeof(char16_t))
                   ? QString::fromUtf16(reinterpret_cast<const char16_t *>(units.constData()),
                                        units.size() / 2)
                   : QString();
        ready = true;
        textReady();
    }

    const std::function<void()> textReady;
    QObject context;
    QTimer deadline;
    QProcess *reader = nullptr;
    bool again = false;
    bool ready = false;
    QString text;
};

ClipboardReader::ClipboardReader(std::function<void()> textReady)
    : d(std::make_unique<Private>(std::move(textReady)))
{
}

ClipboardReader::~ClipboardReader() = default;

bool ClipboardReader::read(QString &text)
{
    return d->read(text);
}

std::optional<int> ClipboardReader::serveReading(int argc, char *argv[])
{
    if (argc != 2 || readOption != QLatin1String(argv[1]))
        return std::nullopt;
    const QString text = readText();
    DWORD written = 0;
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    return ::WriteFile(out, text.utf16(), DWORD(text.size() * 2), &written, nullptr) ? 0 : 1;
}
