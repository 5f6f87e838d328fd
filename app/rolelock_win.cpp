#include "rolelock.h"

#include <QDir>
#include <windows.h>

RoleLock::Handle RoleLock::open(const QString &path)
{
    const HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                    GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? none : reinterpret_cast<Handle>(file);
}

bool RoleLock::lock(Handle handle, bool wait)
{
    // Windows lets the lock go when the process ends, however it ends.
    OVERLAPPED at = {};
    return LockFileEx(reinterpret_cast<HANDLE>(handle),
                      LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY), 0, 1, 0,
                      &at) != 0;
}

void RoleLock::close(Handle handle)
{
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}
