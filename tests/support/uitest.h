#pragma once

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

// Plays the user for each dialog of one class that the code under test runs: records it (a message
// box as "title: text", marked when not plain text, any other by its class), runs `act` from the
// dialog's own event loop, then closes it, so that the code waiting on it goes on.
class DialogDriver : public QObject
{
public:
    DialogDriver(
        const char *className, std::function<void(QDialog *)> act = [](QDialog *) {})
        : className(className), act(std::move(act))
    {
        qApp->installEventFilter(this);
    }
    QStringList seen;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = qobject_cast<QDialog *>(watched);
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (event->type() == QEvent::Show && dialog && dialog->inherits(className)) {
            seen << (box ? box->windowTitle() + ": " + box->text() +
                               (box->textFormat() == Qt::PlainText ? "" : " (markup)")
                         : dialog->metaObject()->className());
            QTimer::singleShot(0, dialog, [this, dialog] { act(dialog), dialog->reject(); });
        }
        return false;
    }
    const char *className;
    std::function<void(QDialog *)> act;
};

// What the eye sees of `widget` in a grab of its window: the mean colour, and the contrast ratio
// (1 to 21, as for text on the web) between the darkest and the lightest 2% of the pixels; text
// reads well from 4.5 on, a plain area stays near 1.
struct Look
{
    Look(const QImage &grab, const QWidget *widget)
    {
        const QImage part =
            grab.copy(QRect(widget->mapTo(widget->window(), QPoint()), widget->size()));
        mean = part.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(0, 0);
        std::vector<double> light;
        for (int y = 0; y < part.height(); ++y)
            for (int x = 0; x < part.width(); ++x)
                light.push_back(std::pow(qGray(part.pixel(x, y)) / 255.0, 2.2));
        std::sort(light.begin(), light.end());
        const size_t few = light.size() / 50;
        contrast = (light[light.size() - 1 - few] + 0.05) / (light[few] + 0.05);
    }
    QColor mean;
    double contrast;
};

// What a screen reader would stumble on in `window`: controls without a name, and pictures with
// one (a picture shown as rich text is named by a placeholder character).
inline QStringList unnamed(const QWidget *window)
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
