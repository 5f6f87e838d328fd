#include "rolelock.h"

#include <mutex>
#include <thread>

struct RoleLock::State
{
    std::mutex mutex;
    Handle handle = none;
    bool held = false;
    bool waiting = false;
    bool abandoned = false; // the owner went while the waiter waited: the waiter closes the file
};

RoleLock::RoleLock(const QString &path) : state(std::make_shared<State>())
{
    state->handle = open(path);
}

RoleLock::~RoleLock()
{
    const std::lock_guard<std::mutex> guard(state->mutex);
    if (state->waiting)
        state->abandoned = true;
    else if (state->handle != none)
        close(state->handle);
}

bool RoleLock::canBeMade() const
{
    return state->handle != none;
}

bool RoleLock::take()
{
    const std::lock_guard<std::mutex> guard(state->mutex);
    if (state->handle != none && !state->held && !state->waiting)
        state->held = lock(state->handle, false);
    return state->held;
}

void RoleLock::await()
{
    const std::lock_guard<std::mutex> guard(state->mutex);
    if (state->handle == none || state->held || state->waiting)
        return;
    state->waiting = true;
    // Blocked in the system's own wait, which hands the lock over the moment it is let go. Never
    // joined: a program that ends while it waits simply ends.
    std::thread([state = state] {
        const bool held = lock(state->handle, true);
        const std::lock_guard<std::mutex> guard(state->mutex);
        state->waiting = false;
        if (state->abandoned)
            close(state->handle);
        else
            state->held = held;
    }).detach();
}

bool RoleLock::isHeld() const
{
    const std::lock_guard<std::mutex> guard(state->mutex);
    return state->held;
}
