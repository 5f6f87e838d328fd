#include "dialogclaim.h"

#include "app/privateplace.h"
#include "app/singleinstance.h"

#include <QCoreApplication>

namespace {

QString claimPath(const QString &folder)
{
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/dialog.lock");
}

} // namespace

DialogClaim::DialogClaim(const QString &request) : file(claimPath(PrivatePlace::folder()))
{
    if (file.fileName().isEmpty())
        return;
    file.setStaleLockTime(0);
    // Only another holder refuses: a file that cannot be made decides nothing.
    held = file.tryLock(0) || file.error() != QLockFile::LockFailedError;
    qint64 holder = 0;
    QString host, program;
    if (held || !file.getLockInfo(&holder, &host, &program) ||
        holder == QCoreApplication::applicationPid())
        return;
    // A holder that is not this program is the other edition: its guard takes the request.
    const bool plain = QCoreApplication::applicationName() == QLatin1String("Tintelle");
    const QString folder = PrivatePlace::folder();
    SingleInstance(folder, plain ? QStringLiteral("sonaro") : QStringLiteral("tintelle"))
        .forward(request);
}

bool DialogClaim::isHeld() const
{
    return held;
}
