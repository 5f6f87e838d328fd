#include "dialogclaim.h"

#include "app/singleinstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QSysInfo>

namespace {

QString claimPath(const QString &folder)
{
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/dialog.lock");
}

} // namespace

DialogClaim::DialogClaim(const QString &folder) : folder(folder), file(claimPath(folder))
{
    if (file.fileName().isEmpty())
        return;
    file.setStaleLockTime(0);
    held = file.tryLock(0);
    qint64 holder = 0;
    QString host, program;
    // Named after this very process: left by a copy that ended with its dialog open and whose
    // process number this one has again (Windows reuses them at every start). Taken as live, it
    // would refuse every dialog for as long as this copy runs. A claim this process does hold is
    // not removed: the system's lock on the file (flock, or Windows' sharing) refuses it.
    if (!held && file.getLockInfo(&holder, &host, &program) &&
        holder == QCoreApplication::applicationPid() && host == QSysInfo::machineHostName())
        held = file.removeStaleLockFile() && file.tryLock(0);
    // Refused by a file that names no holder (left empty by a full disk, or not a file at all):
    // it would refuse every dialog from now on.
    if (held ||
        (file.error() == QLockFile::LockFailedError && file.getLockInfo(&holder, &host, &program)))
        return;
    held = true;
    failed = QCoreApplication::translate(
                 "DialogClaim",
                 "Impossible de créer le verrou %1 (disque plein ou dossier en lecture seule). "
                 "Libérez de la place ou rendez le dossier inscriptible, puis supprimez ce "
                 "fichier s'il existe.")
                 .arg(QDir::toNativeSeparators(file.fileName()));
}

bool DialogClaim::isHeld() const
{
    return held;
}

QString DialogClaim::failure() const
{
    return failed;
}

bool DialogClaim::forward(const QString &request)
{
    qint64 holder = 0;
    QString host, program;
    if (held || !file.getLockInfo(&holder, &host, &program) ||
        holder == QCoreApplication::applicationPid())
        return false;
    // A holder that is not this program is the other edition: its guard takes the request.
    const bool plain = QCoreApplication::applicationName() == QLatin1String("Tintelle");
    return SingleInstance(folder, plain ? QStringLiteral("sonaro") : QStringLiteral("tintelle"))
        .forward(request);
}
