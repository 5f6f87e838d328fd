#pragma once

#include <QVariantMap>

// Empties the settings scope of the application's names, then writes `values`. Without the
// profile of its own that add_unit_test gives each test, it first turns on QStandardPaths' test
// mode, so that a developer's own settings are never cleared.
void resetSettings(const QVariantMap &values = QVariantMap());
