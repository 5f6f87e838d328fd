#include "edition/edition.h"

#include <QCoreApplication>

namespace {
bool plainEdition = true;
}

namespace Edition {

bool isPlain()
{
    return plainEdition;
}

void setPlain(bool plain)
{
    plainEdition = plain;
}

void selectForExecutable(const QString &executablePath)
{
    setPlain(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Tintelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Tintelle"));
    if (executablePath.contains(QLatin1String("Sonaro"), Qt::CaseInsensitive)) {
        setPlain(false);
        QCoreApplication::setOrganizationName(QStringLiteral("Ivelor"));
        QCoreApplication::setApplicationName(QStringLiteral("Sonaro"));
    }
}

QString iconPath()
{
    return plainEdition ? QStringLiteral(":/phone-logo-md.png")
                        : QStringLiteral(":/logo-ivelor-blue-100.png");
}

} // namespace Edition
