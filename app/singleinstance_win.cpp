#include "singleinstance.h"

#include <QLocalSocket>
#include <iterator>
#include <windows.h>

namespace {

// A running copy accepts at once, even while a dialog runs its own event loop.
constexpr int connectTimeoutMs = 1000;

// Pipe names are machine-wide: the account's name keeps each user's copies apart, and the pipe
// itself (UserAccessOption) lets no one else in.
QString accountName()
{
    wchar_t name[257] = {};
    DWORD size = DWORD(std::size(name));
    if (!::GetUserNameW(name, &size))
        return QStringLiteral("unknown");
    return QString::fromWCharArray(name);
}

} // namespace

QString SingleInstance::serverName(const QString &folder, const QString &name)
{
    Q_UNUSED(folder)
    QString account = accountName();
    account.replace(u'\\', u'_');
    return QStringLiteral("tintelle-%1-%2").arg(account, name);
}

SingleInstance::Reply SingleInstance::send(const QByteArray &message) const
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(connectTimeoutMs)) {
        switch (socket.error()) {
        case QLocalSocket::ServerNotFoundError:
            return Reply::NoOne;
        case QLocalSocket::SocketAccessError:
            return Reply::Foreign;
        default:
            return Reply::Busy;
        }
    }
    socket.write(message);
    const bool written = socket.waitForBytesWritten(connectTimeoutMs);
    socket.disconnectFromServer();
    return written ? Reply::Delivered : Reply::Busy;
}
