#include "privateplace.h"

#include <QDir>
#include <QStandardPaths>

PrivatePlace::Candidates PrivatePlace::candidates()
{
    // The account's local application data, which Windows keeps to its user whatever the
    // environment says.
    Candidates where;
    where.home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return where;
}

QString PrivatePlace::folder(const Candidates &where)
{
    if (where.home.isEmpty())
        return {};
    const QString path = QDir::cleanPath(where.home + QStringLiteral("/Tintelle/run"));
    return QDir().mkpath(path) ? path : QString();
}
