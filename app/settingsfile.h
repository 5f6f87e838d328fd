#pragma once

#include <QCoreApplication>
#include <QString>

// Where the settings are kept (a file on Unix, the current user's registry on Windows): their
// checks before use, and their failures told to the user.
class SettingsFile
{
    Q_DECLARE_TR_FUNCTIONS(SettingsFile)

public:
    // The file, or the registry key, of the application's names, found without reading it.
    static QString location();

    // False for settings that cannot be read, or that are too large to be settings (a file over
    // 1 MiB, refused before anything reads it): taken for a first run, they would be overwritten.
    // Keys the program does not use are kept, and read as they stand.
    static bool isReadable();

    // The password is kept in clear, so on Unix the file and its folder must be their owner's
    // alone, as the per-user registry is on Windows: both are made so, whatever the umask, and
    // the file is created empty if missing. Call it before writing and after.
    static void restrictToOwner(const QString &fileName);

    // Error boxes naming the settings: "Impossible de lire..." and "Impossible d'enregistrer...".
    static void reportUnreadable(const QString &fileName);
    static void reportUnwritable(const QString &fileName);
};
