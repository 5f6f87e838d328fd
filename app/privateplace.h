#pragma once

#include <QString>

// The folder of this user's single-instance guards, dialog claim and copy-handler lock, shared by
// both editions and met by every start of the user, whatever its environment (a session's own
// runtime folder, or none at all through su, ssh or cron): it depends on the account alone. It
// belongs to the user and no one else may reach into it. Worked out once, at start.
namespace PrivatePlace {

// Where a start of this user may look, in order of preference.
struct Candidates
{
    QString accountRuntime; // the account's own runtime folder
    QString home;           // the account's home, from the account database, not the environment
};

// The candidates of this account.
Candidates candidates();

// The first private folder that the candidates give, made when missing; empty when none can be
// had, never one that someone else may write into.
QString folder(const Candidates &where = candidates());

} // namespace PrivatePlace
