#include "calldialoglock.h"

namespace {
// Constructed by static initialisation so it exists before main() and outlives every dialog.
QMutex lock;
} // namespace

QMutex &callDialogLock()
{
    return lock;
}
