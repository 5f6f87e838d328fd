#pragma once

#include <QVariantMap>

// Empties the application's settings scope, then writes `values`. Outside add_unit_test's profile,
// in QStandardPaths' test mode: a developer's own settings are never cleared.
void resetSettings(const QVariantMap &values = QVariantMap());
