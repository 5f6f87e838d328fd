#include "copyhandler.h"

#include "app/privateplace.h"
#include "service/settingskeys.h"
#include "service/ws.h"

#include <QLockFile>
#include <QSettings>
#include <memory>

namespace {

bool canCall()
{
    const QSettings settings;
    return !settings.value(SettingsKey::login).toString().isEmpty() && WS::knowsProvider(settings);
}

// Held for the rest of the run once taken.
std::unique_ptr<QLockFile> role;

} // namespace

bool CopyHandler::takesCopies()
{
    if (!canCall()) {
        role.reset();
        return false;
    }
    if (role)
        return true;
    const QString folder = PrivatePlace::folder();
    // Where the editions cannot meet, each answers its own copies as before.
    if (folder.isEmpty())
        return true;
    auto lock = std::make_unique<QLockFile>(folder + QStringLiteral("/copies.lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return lock->error() != QLockFile::LockFailedError;
    role = std::move(lock);
    return true;
}
