#include "clipboardreader.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cwchar>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <windows.h>

namespace {

// An owner that has not given its text within this is taken for hung: that copy is skipped.
constexpr std::chrono::seconds answerWait(2);
// An owner whose window does not answer within this would not render its text either.
constexpr UINT ownerProbeMs = 1000;
// Far more than any text worth looking for a number in: a larger text reads as empty, and is never
// turned into the program's own text.
constexpr SIZE_T textCap = 1 << 20;
// Other programs hold the clipboard open for a moment while they write to it.
constexpr int openTries = 10;
constexpr DWORD openRetryMs = 20;

// Whether the memory block `data` holds at most textCap units of `unit` bytes, its end included.
bool withinCap(HANDLE data, SIZE_T unit)
{
    return data && ::GlobalSize(data) <= (textCap + 1) * unit;
}

// The clipboard's text, read in the calling thread: Windows asks an owner that promised text to
// render it, and waits for it, with the clipboard held open for every program meanwhile.
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
    if (first == CF_UNICODETEXT || withinCap(::GetClipboardData(first), 1)) {
        const HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
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

// What a worker thread reaches the reader through: the reader's object, gone with it.
struct Link
{
    std::mutex mutex;
    QObject *reader = nullptr;
};

} // namespace

// Reads the clipboard in a worker thread with a deadline, as the X11 reader asks the owner without
// waiting: an owner that never renders its text costs one skipped copy, and the event loop never
// waits on it. While a read runs, further changes only ask for one more read once it ends: a flood
// of changes costs the reading of the last one.
class ClipboardReader::Private
{
public:
    explicit Private(std::function<void()> textReady)
        : textReady(std::move(textReady)), link(std::make_shared<Link>())
    {
        link->reader = &context;
        deadline.setSingleShot(true);
        deadline.setInterval(answerWait);
        QObject::connect(&deadline, &QTimer::timeout, &context, [this] {
            ++generation; // its text, if it ever comes, is dropped
            reading = false;
            if (std::exchange(again, false))
                start();
        });
    }

    ~Private()
    {
        const std::lock_guard<std::mutex> lock(link->mutex);
        link->reader = nullptr;
    }

    bool read(QString &text)
    {
        if (std::exchange(ready, false)) {
            text = std::move(this->text);
            return true;
        }
        if (reading)
            again = true;
        else
            start();
        return false;
    }

private:
    void start()
    {
        reading = true;
        deadline.start();
        std::thread([this, link = link, id = ++generation] {
            QString text = readText();
            const std::lock_guard<std::mutex> lock(link->mutex);
            // Queued to the reader's thread, and dropped there if the reader is gone by then.
            if (link->reader)
                QMetaObject::invokeMethod(
                    link->reader, [this, id, text = std::move(text)] { finished(id, text); },
                    Qt::QueuedConnection);
        }).detach();
    }

    void finished(unsigned id, const QString &read)
    {
        if (id != generation)
            return;
        deadline.stop();
        reading = false;
        if (std::exchange(again, false)) // the clipboard changed meanwhile: only the latest counts
            return start();
        text = read;
        ready = true;
        textReady();
    }

    const std::function<void()> textReady;
    const std::shared_ptr<Link> link;
    QObject context;
    QTimer deadline;
    unsigned generation = 0;
    bool reading = false;
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
