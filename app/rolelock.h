#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

// An exclusive lock on a file, shared by the processes of one user: held until this object goes
// or the process ends, however it ends. Taken at once, or waited for in the background, in which
// case it passes to the waiter as soon as its holder lets go, before any process that asks later.
class RoleLock
{
public:
    explicit RoleLock(const QString &path);
    // Lets the lock go, or stops waiting for it.
    ~RoleLock();
    Q_DISABLE_COPY_MOVE(RoleLock)

    // False when the file can be neither opened nor made (a full disk, a read-only folder).
    bool canBeMade() const;
    // Takes the lock if no one holds it: true when held.
    bool take();
    // Waits for the lock without blocking the caller; isHeld() turns true once taken.
    void await();
    bool isHeld() const;

private:
    struct State;
    // Platform seam: a file opened or made for locking, its lock, and its closing.
    using Handle = qintptr;
    static constexpr Handle none = -1;
    static Handle open(const QString &path);
    static bool lock(Handle handle, bool wait);
    static void close(Handle handle);

    std::shared_ptr<State> state;
};
