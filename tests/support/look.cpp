#include "tests/support/look.h"

#include <QImage>
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
