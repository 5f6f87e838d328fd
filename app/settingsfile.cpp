#include "settingsfile.h"

#include "service/settingskeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <algorithm>
#include <iterator>

namespace {

void report(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

bool SettingsFile::isReadable(const QSettings &settings)
{
    const QFileInfo file(settings.fileName());
    if (settings.status() != QSettings::NoError || (file.exists() && !file.isReadable()))
        return false;
    if (!file.exists() || file.size() == 0)
        return true;
    const char *const keys[] = {SettingsKey::login,    SettingsKey::password,
                                SettingsKey::number,   SettingsKey::copyTwice,
                                SettingsKey::endpoint, SettingsKey::endpointCa};
    return std::any_of(std::begin(keys), std::end(keys),
                       [&](const char *key) { return settings.contains(key); });
}

void SettingsFile::restrictToOwner(const QString &fileName)
{
#ifdef Q_OS_UNIX
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    const QString folder = QFileInfo(fileName).absolutePath();
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
        QFile::setPermissions(folder, ownerOnly | QFile::ExeOwner);
    if (!QFileInfo::exists(fileName)) {
        QFile file(fileName);
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly);
    }
    QFile::setPermissions(fileName, ownerOnly);
#else
    Q_UNUSED(fileName)
#endif
}

void SettingsFile::reportUnreadable(const QString &fileName)
{
    report(tr("Impossible de lire la configuration : %1").arg(fileName));
}

void SettingsFile::reportUnwritable(const QString &fileName)
{
    report(tr("Impossible d'enregistrer la configuration : %1").arg(fileName));
}
