#pragma once

#include <QMutex>

// Held for as long as a call dialog is open; only CallDialog::open() takes it, and only ever
// tries it. It guards against re-entry from nested event loops on the one GUI thread, not against
// other threads: being non-recursive, a second try by the thread that holds it fails.
QMutex &callDialogLock();
