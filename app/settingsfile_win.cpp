#include "service/settingskeys.h"
#include "settingsfile.h"

#include <QSettings>
#include <algorithm>
#include <iterator>
#include <windows.h>

// The settings live in the current user's registry key, which no other user can reach and which
// holds no file to be replaced by anything else. What it holds is checked before Qt reads it.

namespace {

// As the file on Unix: far more than any setting, and Qt would read a larger value whole.
constexpr DWORD valueCap = 1 << 20;

// The key QSettings uses for the application's names in the user scope.
std::wstring keyPath()
{
    return QStringLiteral("Software\\%1\\%2")
        .arg(QCoreApplication::organizationName(), QCoreApplication::applicationName())
        .toStdWString();
}

bool isProgramKey(const QString &name)
{
    const char *const keys[] = {SettingsKey::login,    SettingsKey::password,
                                SettingsKey::number,   SettingsKey::copyTwice,
                                SettingsKey::endpoint, SettingsKey::endpointCa};
    return std::any_of(std::begin(keys), std::end(keys), [&](const char *key) {
        return name.compare(QLatin1String(key), Qt::CaseInsensitive) == 0;
    });
}

} // namespace

QString SettingsFile::location()
{
    // Qt names the key with a leading backslash, which no registry tool shows.
    QString key = QSettings().fileName();
    return key.startsWith(u'\\') ? key.mid(1) : key;
}

// Every value of the program's must be text, as it writes them all: a number stored as a list or
// with variables to expand would otherwise be sent empty, or as written. Like the file on Unix, a
// key that cannot be read or holds a value over the cap is not taken for a first run; values of no
// use to the program are left as they are.
bool SettingsFile::isReadable()
{
    HKEY key = nullptr;
    const LSTATUS opened =
        ::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath().c_str(), 0, KEY_QUERY_VALUE, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    bool readable = true;
    for (DWORD i = 0; readable; ++i) {
        wchar_t name[16384]; // the longest name a value may have, and its end
        DWORD nameSize = DWORD(std::size(name)), type = REG_NONE, size = 0;
        const LSTATUS status =
            ::RegEnumValueW(key, i, name, &nameSize, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        readable = status == ERROR_SUCCESS && size <= valueCap &&
                   (type == REG_SZ || !isProgramKey(QString::fromWCharArray(name, int(nameSize))));
    }
    ::RegCloseKey(key);
    return readable && QSettings().status() == QSettings::NoError;
}

void SettingsFile::restrictToOwner(const QString &) {}
