#pragma once

#include <QString>

// Of the editions running for one user, the one that answers copies, so that the same edition
// answers every copy: an edition that cannot call (it knows no provider) never does; of those that
// can, the first to ask keeps the role until it ends, and then the other, already waiting for it,
// takes it at once, so that an edition started again finds it taken. The role is a lock on a file
// in the user's private place (PrivatePlace).
namespace CopyHandler {

// At start, with the private place (empty where the editions cannot meet): asks for the role, so
// that the edition started first holds it.
void start(const QString &place);

// True when this program answers copies now. Asked at each copy: an edition that cannot call any
// more lets the role go; one that now can asks for it.
bool takesCopies();

} // namespace CopyHandler
