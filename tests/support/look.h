#pragma once

#include <QColor>
#include <QStringList>

class QImage;
class QWidget;

// What the eye sees of `widget` in a grab of its window: the mean colour, and the contrast ratio
// (1 to 21, as for text on the web) between the darkest and the lightest 2% of the pixels; text
// reads well from 4.5 on, a plain area stays near 1.
struct Look
{
    Look(const QImage &grab, const QWidget *widget);
    QColor mean;
    double contrast;
};

// What a screen reader would stumble on in `window`: controls without a name, and pictures with
// one (a picture shown as rich text is named by a placeholder character).
QStringList unnamed(const QWidget *window);
