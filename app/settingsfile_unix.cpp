#include "settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

// Far more than the few keys stored: Qt would read a larger file whole, and keep it.
constexpr qint64 sizeCap = 1 << 20;

} // namespace

QString SettingsFile::location()
{
    // Where QSettings puts the user scope of the application's names.
    return QStringLiteral("%1/%2/%3.conf")
        .arg(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
             QCoreApplication::organizationName(), QCoreApplication::applicationName());
}

bool SettingsFile::isReadable()
{
    const QFileInfo file(location());
    if (file.exists() && (!file.isReadable() || file.size() > sizeCap))
        return false;
    return QSettings().status() == QSettings::NoError;
}

void SettingsFile::restrictToOwner(const QString &fileName)
{
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    const QString folder = QFileInfo(fileName).absolutePath();
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
        QFile::setPermissions(folder, ownerOnly | QFile::ExeOwner);
    if (!QFileInfo::exists(fileName)) {
        QFile file(fileName);
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly);
    }
    QFile::setPermissions(fileName, ownerOnly);
}
