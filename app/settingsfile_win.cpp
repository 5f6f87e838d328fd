#include "settingsfile.h"

#include <QSettings>

// The settings live in the current user's registry key, which no other user can reach and which
// holds no file to be replaced by anything else: only its status is worth checking.

QString SettingsFile::location()
{
    // Qt names the key with a leading backslash, which no registry tool shows.
    QString key = QSettings().fileName();
    return key.startsWith(u'\\') ? key.mid(1) : key;
}

bool SettingsFile::isReadable()
{
    return QSettings().status() == QSettings::NoError;
}

void SettingsFile::restrictToOwner(const QString &) {}
