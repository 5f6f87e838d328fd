// Another program beside Tintelle under Wine; prints "ready" once in place, then runs until killed.
//   winpeer squat NAME silent|junk   takes the pipe tintelle-<account's SID>-NAME first; silent
//                                    never reads, junk answers "junk" and prints what it read
//   winpeer hold-clipboard           promises text on the clipboard, never renders it: prints
//                                    "asked" when asked, answers everything else
#include <cstdio>
#include <cstring>
#include <string>
#include <windows.h>
// After windows.h
#include <sddl.h>

namespace {

const auto say = [](const char *word) { std::puts(word), std::fflush(stdout); };

int squat(const char *name, bool answers)
{
    HANDLE token = nullptr;
    char user[256];
    DWORD size = sizeof user;
    char *sid = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) ||
        !::GetTokenInformation(token, TokenUser, user, size, &size) ||
        !::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER *>(user)->User.Sid, &sid))
        return 1;
    const std::string pipe = "\\\\.\\pipe\\tintelle-" + std::string(sid) + "-" + name;
    const HANDLE server =
        ::CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                           PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    if (server == INVALID_HANDLE_VALUE)
        return 1;
    say("ready");
    while (!answers)
        ::Sleep(INFINITE);
    for (;;) {
        ::ConnectNamedPipe(server, nullptr);
        char buffer[2048];
        DWORD read = 0, written = 0;
        if (::ReadFile(server, buffer, sizeof buffer, &read, nullptr) && read)
            say(std::string(buffer, read).c_str());
        ::WriteFile(server, "junk", 4, &written, nullptr);
        ::FlushFileBuffers(server);
        ::DisconnectNamedPipe(server);
    }
}

// Answers every message but the one asking for the text, which it never returns from.
LRESULT CALLBACK owner(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_RENDERFORMAT) {
        say("asked");
        ::Sleep(INFINITE);
    }
    return ::DefWindowProcW(window, message, w, l);
}

int holdClipboard()
{
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"winpeer", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                          nullptr, nullptr, nullptr);
    if (!window || !::SetWindowLongPtrW(window, GWLP_WNDPROC, LONG_PTR(owner)) ||
        !::OpenClipboard(window) || !::EmptyClipboard())
        return 1;
    ::SetClipboardData(CF_UNICODETEXT, nullptr); // rendered when asked: never
    ::CloseClipboard();
    say("ready");
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&message);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && !std::strcmp(argv[1], "squat"))
        return squat(argv[2], !std::strcmp(argv[3], "junk"));
    if (argc == 2 && !std::strcmp(argv[1], "hold-clipboard"))
        return holdClipboard();
    return 2; // usage above
}
