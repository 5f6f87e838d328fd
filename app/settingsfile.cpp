#include "settingsfile.h"

#include <QMessageBox>

namespace {

void report(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

void SettingsFile::reportUnreadable(const QString &fileName)
{
    report(tr("Impossible de lire la configuration : %1").arg(fileName));
}

void SettingsFile::reportUnwritable(const QString &fileName)
{
    report(tr("Impossible d'enregistrer la configuration : %1").arg(fileName));
}
