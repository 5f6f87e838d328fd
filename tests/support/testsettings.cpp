#include "tests/support/testsettings.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>

namespace {

// Windows stores nothing without an organization name; set before any QSettings is made.
void nameOrganization()
{
    if (QCoreApplication::organizationName().isEmpty())
        QCoreApplication::setOrganizationName(QStringLiteral("Tintelle tests"));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(nameOrganization)

void resetSettings(const QVariantMap &values)
{
    if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME"))
        QStandardPaths::setTestModeEnabled(true);
    QSettings settings;
    settings.clear();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
}
