#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <iterator>
#include <memory>
#include <string>
#include <windows.h>
// After windows.h
#include <sddl.h>

namespace {

// A running copy accepts at once, even while a dialog runs its own event loop; but a write waits
// for the copy to read, and a copy showing its first dialog is busy for about 2 s (measured under
// Wine). Less would tell the user that a healthy copy does not answer.
constexpr int connectTimeoutMs = 5000;

struct HandleCloser
{
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The account of `process`, a copy of its token's user; empty when it cannot be read.
std::unique_ptr<char[]> accountOf(HANDLE process)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token))
        return nullptr;
    const Handle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    auto user = std::make_unique<char[]>(size ? size : 1);
    if (!size || !::GetTokenInformation(token, TokenUser, user.get(), size, &size))
        return nullptr;
    return user;
}

PSID sidOf(const std::unique_ptr<char[]> &user)
{
    return reinterpret_cast<TOKEN_USER *>(user.get())->User.Sid;
}

const std::unique_ptr<char[]> &ownAccount()
{
    static const std::unique_ptr<char[]> account = accountOf(::GetCurrentProcess());
    return account;
}

QString imageOf(HANDLE process)
{
    wchar_t path[MAX_PATH * 4];
    DWORD size = DWORD(std::size(path));
    if (!::QueryFullProcessImageNameW(process, 0, path, &size))
        return {};
    return QString::fromWCharArray(path, int(size));
}

// Whether the process serving `pipe` is a copy of this program, or of the edition `name`, run by
// this account. Pipe names are machine-wide and first come, first served: anyone, another account
// of a terminal server included, may have taken the name before the first copy started.
bool servedByOwnCopy(HANDLE pipe, const QString &name, ULONG &server)
{
    if (!::GetNamedPipeServerProcessId(pipe, &server))
        return false;
    const Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, server));
    if (!process || !ownAccount())
        return false;
    const std::unique_ptr<char[]> account = accountOf(process.get());
    if (!account || !::EqualSid(sidOf(account), sidOf(ownAccount())))
        return false;
    const QString image = imageOf(process.get());
    return !image.isEmpty() &&
           (image.compare(imageOf(::GetCurrentProcess()), Qt::CaseInsensitive) == 0 ||
            QFileInfo(image).fileName().compare(name + QStringLiteral(".exe"),
                                                Qt::CaseInsensitive) == 0);
}

// Writes `message` within the deadline: a server that never reads never holds the start up.
bool write(HANDLE pipe, const QByteArray &message, const QDeadlineTimer &deadline)
{
    OVERLAPPED overlapped = {};
    const Handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return false;
    overlapped.hEvent = event.get();
    DWORD written = 0;
    if (!::WriteFile(pipe, message.constData(), DWORD(message.size()), nullptr, &overlapped) &&
        ::GetLastError() != ERROR_IO_PENDING)
        return false;
    if (::WaitForSingleObject(event.get(), DWORD(qMax<qint64>(deadline.remainingTime(), 0))) !=
        WAIT_OBJECT_0) {
        ::CancelIoEx(pipe, &overlapped);
        ::GetOverlappedResult(pipe, &overlapped, &written, TRUE);
        return false;
    }
    return ::GetOverlappedResult(pipe, &overlapped, &written, FALSE) &&
           written == DWORD(message.size());
}

} // namespace

// Named after the account's SID, not its name: a name can be reused, or held by a local and a
// domain account at once.
QString SingleInstance::serverName(const QString &folder, const QString &name)
{
    Q_UNUSED(folder)
    QString account = QStringLiteral("unknown");
    wchar_t *text = nullptr;
    if (ownAccount() && ::ConvertSidToStringSidW(sidOf(ownAccount()), &text)) {
        account = QString::fromWCharArray(text);
        ::LocalFree(text);
    }
    return QStringLiteral("tintelle-%1-%2").arg(account, name);
}

SingleInstance::Reply SingleInstance::send(const QByteArray &message) const
{
    const std::wstring pipe = (QStringLiteral("\\\\.\\pipe\\") + socketPath).toStdWString();
    const QDeadlineTimer deadline(connectTimeoutMs);
    HANDLE opened = INVALID_HANDLE_VALUE;
    // Identification only: the server may learn who writes, never act as this account.
    while ((opened = ::CreateFileW(
                pipe.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr)) ==
           INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return Reply::NoOne;
        if (error == ERROR_ACCESS_DENIED)
            return Reply::Foreign;
        if (error != ERROR_PIPE_BUSY || deadline.hasExpired())
            return Reply::Busy;
        ::WaitNamedPipeW(pipe.c_str(), DWORD(qMax<qint64>(deadline.remainingTime(), 1)));
    }
    const Handle connection(opened);
    ULONG server = 0;
    if (!servedByOwnCopy(connection.get(), socketPath.section(u'-', -1), server))
        return Reply::Foreign;
    // Only looking: the connection proves the copy is there; an empty write would wait for
    // nothing and fail.
    if (message.isEmpty())
        return Reply::Delivered;
    // The user's own start may bring its dialog forward, as Windows lets only the process in
    // front give the foreground away; a link's number never takes the keyboard.
    if (message == request(QString()))
        ::AllowSetForegroundWindow(server);
    return write(connection.get(), message, deadline) ? Reply::Delivered : Reply::Busy;
}
