#include "dialogclaim.h"

#include "app/singleinstance.h"

#include <QCoreApplication>
#include <QDir>

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
    // Refused by a file that names no holder (left empty by a full disk, or not a file at all):
    // it would refuse every dialog from now on.
    if (held ||
        (file.error() == QLockFile::LockFailedError && file.getLockInfo(&holder, &host, &program)))
        return;
    held = true;
    failed = QCoreApplication::translate(
                 "DialogClaim",
                 "Le verrou %1 ne peut pas être créé (disque plein, quota atteint ou dossier en "
                 "lecture seule) : Tintelle et Sonaro pourraient ouvrir chacun sa fenêtre "
                 "d'appel. Libérez de la place ou rendez ce dossier inscriptible, puis supprimez "
                 "ce fichier s'il existe.")
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
