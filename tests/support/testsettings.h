#pragma once

#include <QVariantMap>

// Empties the settings scope named by the application's organisation and application names,
// then writes `values` (e.g. {{"login", "alice"}, {"endpoint", provider.url()}}). Tests run on a
// throwaway profile: add_unit_test gives each one its own XDG_CONFIG_HOME, and without one this
// turns on QStandardPaths' test mode before touching any settings, so a developer's real
// settings are never cleared.
void resetSettings(const QVariantMap &values = QVariantMap());
