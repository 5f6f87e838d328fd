#include "copyhandler.h"

#include "app/rolelock.h"
#include "service/ws.h"

#include <QSettings>
#include <memory>

namespace {

QString folder;
// Held, or waited for, while this edition can call.
std::unique_ptr<RoleLock> role;

} // namespace

void CopyHandler::start(const QString &place)
{
    role.reset();
    folder = place;
    takesCopies();
}

bool CopyHandler::takesCopies()
{
    // A login, even an empty one, is the provider's to judge: only no provider at all keeps an
    // edition from calling.
    if (!WS::knowsProvider(QSettings())) {
        role.reset();
        return false;
    }
    // Where the editions cannot meet, each answers its own copies.
    if (folder.isEmpty())
        return true;
    if (!role) {
        role = std::make_unique<RoleLock>(folder + QStringLiteral("/copies.lock"));
        if (!role->take())
            role->await();
    }
    // A lock that cannot be made decides nothing: it must not leave every copy unanswered.
    return role->isHeld() || !role->canBeMade();
}
