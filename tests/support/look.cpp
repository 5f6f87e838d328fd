#include "tests/support/look.h"

#include <QAccessible>
#include <QImage>
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <vector>

Look::Look(const QImage &grab, const QWidget *widget)
{
    const QImage part = grab.copy(QRect(widget->mapTo(widget->window(), QPoint()), widget->size()));
    mean = part.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(0, 0);
    std::vector<double> light;
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
            light.push_back(std::pow(qGray(part.pixel(x, y)) / 255.0, 2.2));
    std::sort(light.begin(), light.end());
    const size_t few = light.size() / 50;
    contrast = (light[light.size() - 1 - few] + 0.05) / (light[few] + 0.05);
}

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
