#include "tests/support/testsettings.h"

#include <QSettings>
#include <QStandardPaths>

void resetSettings(const QVariantMap &values)
{
    if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"))
        QStandardPaths::setTestModeEnabled(true);
    QSettings settings;
    settings.clear();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
}
