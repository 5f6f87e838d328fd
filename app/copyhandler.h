#pragma once

// Of the editions running for one user, the one that answers copies, so that the same edition
// answers every copy: an edition that cannot call (no login, or a build without the provider's
// address and no "endpoint" setting) never does; of those that can, the first to ask keeps the
// role until it quits. The role is a lock file in the user's private place (PrivatePlace).
namespace CopyHandler {

// True when this program answers copies now. Asked at start, so that the edition started first
// takes the role, and again at each copy, so that the other takes it over once the first quits.
bool takesCopies();

} // namespace CopyHandler
