#pragma once

#include <QCoreApplication>
#include <QSettings>

// The settings file on disk: kept its owner's alone, and its failures told to the user.
class SettingsFile
{
    Q_DECLARE_TR_FUNCTIONS(SettingsFile)

public:
    // False for a file that cannot be read, or that holds none of the program's keys (random
    // bytes, another format): what it holds may still be recoverable, so it must not be taken for
    // a first run. An empty file holds nothing to lose.
    static bool isReadable(const QSettings &settings);

    // The password is kept in clear, so on Unix the file and its folder must be their owner's
    // alone, as the per-user registry is on Windows: both are made so, whatever the umask, and
    // the file is created empty if missing. Call it before writing and after.
    static void restrictToOwner(const QString &fileName);

    // Error boxes naming the file: "Impossible de lire..." and "Impossible d'enregistrer...".
    static void reportUnreadable(const QString &fileName);
    static void reportUnwritable(const QString &fileName);
};
