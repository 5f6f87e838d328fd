#include "tests/support/unnamed.h"

#include <QAccessible>
#include <QLabel>

QStringList unnamed(const QWidget *window)
{
    QStringList found;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        const QString name = QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
        const auto *label = qobject_cast<QLabel *>(widget);
        if (label && (!label->pixmap().isNull() || name.contains(QChar::ObjectReplacementCharacter))
                ? !name.isEmpty()
                : name.isEmpty() &&
                      (widget->inherits("QAbstractButton") || widget->inherits("QLineEdit")))
            found << widget->objectName();
    }
    return found;
}
