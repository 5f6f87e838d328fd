// The Windows side of bench/windows-flood.sh, under Wine: floods the clipboard and times starts of
// the program from inside Windows, so that Wine's own launcher is not counted.
//
// up EDITION              waits, 60 s at most, for the guard's pipe of EDITION to be there
// start PROGRAM [ARG...]  starts PROGRAM with ARGs and prints "START_MS STATUS" once it has ended
//                         (status -1 if it has not within 30 s: then it is ended)
// flood COUNT [PROGRAM [ARG...]]
//                         makes COUNT clipboard changes as fast as it can, each a new text with a
//                         number, then one more whose text it renders only when asked, and prints
//                         "flood COUNT FLOOD_MS READ_MS": READ_MS from that last change to its
//                         reading. With a PROGRAM, another thread starts it again and again until
//                         then, and prints "during START_MS STATUS" for each
// copy MIB                puts MIB MiB of UTF-16 text on the clipboard, rendered when asked, as
//                         large documents are copied, and prints "read READ_MS"
// Whatever it waits for, it gives up after 60 s with status 1.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>
// After windows.h
#include <sddl.h>

namespace {

constexpr DWORD startWait = 30000;
constexpr DWORD upWait = 60000;
constexpr DWORD readWait = 60000;

double nowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

std::wstring widened(const char *text)
{
    std::wstring wide;
    for (const char *c = text; *c; ++c)
        wide += wchar_t(static_cast<unsigned char>(*c));
    return wide;
}

std::wstring accountSid()
{
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    char buffer[256];
    DWORD size = sizeof buffer;
    wchar_t *text = nullptr;
    if (!::GetTokenInformation(token, TokenUser, buffer, size, &size) ||
        !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid, &text))
        return L"unknown";
    std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

// The program's own guard names its pipe so (app/singleinstance_win.cpp).
int up(const char *edition)
{
    const std::wstring pipe = L"\\\\.\\pipe\\tintelle-" + accountSid() + L"-" + widened(edition);
    const double deadline = nowMs() + upWait;
    while (!::WaitNamedPipeW(pipe.c_str(), 100)) {
        if (nowMs() > deadline) {
            std::fprintf(stderr, "no pipe %ls after %lu ms\n", pipe.c_str(), upWait);
            return 1;
        }
        ::Sleep(50);
    }
    return 0;
}

// Starts `program` with `arguments` (taken as they are: no quotes needed) and waits for its end.
bool timedStart(const std::wstring &program, const std::wstring &arguments, double &ms,
                long &status)
{
    std::wstring line = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const double t0 = nowMs();
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        return false;
    DWORD code = 0;
    if (::WaitForSingleObject(process.hProcess, startWait) == WAIT_OBJECT_0) {
        ms = nowMs() - t0;
        ::GetExitCodeProcess(process.hProcess, &code);
        status = long(code);
    } else {
        ::TerminateProcess(process.hProcess, 9);
        ms = nowMs() - t0;
        status = -1;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

struct Starts
{
    std::wstring program;
    std::wstring arguments;
    volatile LONG flooding = 1;
};

DWORD WINAPI startAgain(void *data)
{
    auto *starts = static_cast<Starts *>(data);
    do {
        double ms = 0;
        long status = 0;
        if (!timedStart(starts->program, starts->arguments, ms, status))
            return 1;
        std::printf("during %.1f %ld\n", ms, status);
        std::fflush(stdout);
    } while (::InterlockedCompareExchange(&starts->flooding, 0, 0));
    return 0;
}

// Puts `units` (its end included) on the clipboard as any program copies.
bool copy(const wchar_t *units, size_t count)
{
    while (!::OpenClipboard(nullptr))
        ::Sleep(1);
    const HGLOBAL data = ::GlobalAlloc(GMEM_MOVEABLE, count * sizeof(wchar_t));
    bool done = false;
    if (void *block = data ? ::GlobalLock(data) : nullptr) {
        std::memcpy(block, units, count * sizeof(wchar_t));
        ::GlobalUnlock(data);
        done = ::EmptyClipboard() && ::SetClipboardData(CF_UNICODETEXT, data);
    }
    if (data && !done)
        ::GlobalFree(data);
    ::CloseClipboard();
    return done;
}

// The text promised on the clipboard, rendered only when someone reads it: that reading is seen.
struct Promise
{
    size_t units = 0; // its end included
    bool read = false;
} promise;

LRESULT CALLBACK owner(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message != WM_RENDERFORMAT || w != CF_UNICODETEXT)
        return ::DefWindowProcW(window, message, w, l);
    const HGLOBAL data = ::GlobalAlloc(GMEM_MOVEABLE, promise.units * sizeof(wchar_t));
    if (auto *units = data ? static_cast<wchar_t *>(::GlobalLock(data)) : nullptr) {
        for (size_t i = 0; i + 1 < promise.units; ++i)
            units[i] = L"Appeler le 06 12 34 56 78. "[i % 27];
        units[promise.units - 1] = 0;
        ::GlobalUnlock(data);
        if (!::SetClipboardData(CF_UNICODETEXT, data))
            ::GlobalFree(data);
    }
    promise.read = true;
    return 0;
}

// Waits 100 ms at most for `object` (none: for nothing), answering the messages that come
// meanwhile: the owner of the clipboard must, or whoever asks it anything waits.
bool answer(HANDLE object)
{
    const bool signalled = ::MsgWaitForMultipleObjects(object ? 1 : 0, &object, FALSE, 100,
                                                       QS_ALLINPUT) == WAIT_OBJECT_0;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&message);
    return signalled;
}

// Promises a text of `units` units and answers every message until it is read: the ms it took.
bool promiseText(size_t units, double &ms)
{
    static HWND window = [] {
        WNDCLASSW type = {};
        type.lpfnWndProc = owner;
        type.lpszClassName = L"tintelle-bench-flood";
        ::RegisterClassW(&type);
        return ::CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
    }();
    promise = Promise{units, false};
    while (!::OpenClipboard(window))
        ::Sleep(1);
    const bool done = ::EmptyClipboard();
    if (done) // rendered when asked: its handle is none
        ::SetClipboardData(CF_UNICODETEXT, nullptr);
    ::CloseClipboard();
    const double t0 = nowMs();
    while (done && !promise.read && nowMs() - t0 < readWait)
        answer(nullptr);
    ms = nowMs() - t0;
    if (!promise.read)
        std::fprintf(stderr, "the promised text was not read within %lu ms\n", readWait);
    return promise.read;
}

int flood(long count, Starts *starts)
{
    HANDLE thread = nullptr;
    if (starts)
        thread = ::CreateThread(nullptr, 0, startAgain, starts, 0, nullptr);
    const double t0 = nowMs();
    wchar_t text[64];
    for (long i = 0; i < count; ++i) {
        const int length = std::swprintf(text, 64, L"Rappeler le 06 12 %02ld %02ld %02ld, note %ld",
                                         i / 10000 % 100, i / 100 % 100, i % 100, i);
        // Under Wine the clipboard opened may be taken back before it is emptied (error 1418):
        // that change is made again.
        int tries = 0;
        while (!copy(text, size_t(length) + 1) && ++tries < 100)
            ;
        if (tries == 100) {
            std::fprintf(stderr, "change %ld failed: error %lu\n", i, ::GetLastError());
            return 1;
        }
    }
    const double floodMs = nowMs() - t0;
    double readMs = 0;
    const bool read = promiseText(64, readMs);
    if (thread) {
        ::InterlockedExchange(&starts->flooding, 0);
        while (!answer(thread)) // its start ends within startWait
            ;
        ::CloseHandle(thread);
    }
    std::printf("flood %ld %.1f %.1f\n", count, floodMs, readMs);
    return read ? 0 : 1;
}

int copyLarge(long mib)
{
    double ms = 0;
    if (!promiseText(size_t(mib) << 19, ms))
        return 1;
    std::printf("read %.1f\n", ms);
    return 0;
}

std::wstring joined(int from, int argc, char *argv[])
{
    std::wstring line;
    for (int i = from; i < argc; ++i)
        line += (i > from ? L" " : L"") + widened(argv[i]);
    return line;
}

} // namespace

int main(int argc, char *argv[])
{
    ::_setmode(::_fileno(stdout), _O_BINARY); // lines for the shell that reads them: no CR
    if (argc == 3 && !std::strcmp(argv[1], "up"))
        return up(argv[2]);
    if (argc >= 3 && !std::strcmp(argv[1], "start")) {
        double ms = 0;
        long status = 0;
        if (!timedStart(widened(argv[2]), joined(3, argc, argv), ms, status))
            return 1;
        std::printf("%.1f %ld\n", ms, status);
        return 0;
    }
    if (argc >= 3 && !std::strcmp(argv[1], "flood")) {
        Starts starts;
        if (argc >= 4) {
            starts.program = widened(argv[3]);
            starts.arguments = joined(4, argc, argv);
        }
        return flood(std::atol(argv[2]), argc >= 4 ? &starts : nullptr);
    }
    if (argc == 3 && !std::strcmp(argv[1], "copy"))
        return copyLarge(std::atol(argv[2]));
    std::fputs("usage: tintelle-bench-flood up EDITION | start PROGRAM [ARG...] |\n"
               "       flood COUNT [PROGRAM [ARG...]] | copy MIB\n",
               stderr);
    return 2;
}
