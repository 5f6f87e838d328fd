#pragma once

#include <QStringList>

class QWidget;

// What a screen reader would stumble on in `window`: controls without a name, and pictures with
// one (a picture shown as rich text is named by a placeholder character).
QStringList unnamed(const QWidget *window);
