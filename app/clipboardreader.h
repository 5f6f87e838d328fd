#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>

// Reads the text of the system clipboard for the watcher. Where the owner can be asked without
// waiting on it (X11), the text comes later: read() then returns false, and textReady runs from
// the event loop once it has come, for read() to take it.
class ClipboardReader
{
public:
    // Far more than any text worth looking for a number in.
    static constexpr int textCap = 1 << 20;

    explicit ClipboardReader(std::function<void()> textReady);
    ~ClipboardReader();

    // The clipboard's text now, or false when it comes later, through textReady: never when the
    // owner does not answer. An ownership left unanswered is not asked again; any new one is, even
    // by the same window. A text over 1 MiB reads as empty.
    bool read(QString &text);

#ifdef Q_OS_WIN
    // The reading is a process of its own, the program: when the arguments ask for a reading,
    // writes the clipboard's text, UTF-16, to standard output and gives the exit status; nothing
    // otherwise. Called first thing in main().
    static std::optional<int> serveReading(int argc, char *argv[]);
#endif

private:
    // Qt's own reading, with the same cap: where no owner can hold it up for long, and wherever
    // the owner cannot be asked without waiting (no X connection of its own, no XFixes).
    static QString readThroughQt();

    class Private;
    std::unique_ptr<Private> d;
};
