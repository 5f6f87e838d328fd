#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <functional>

// Plays the user for each dialog of one class: records it (a box as "title: text", marked when not
// plain text; others by class), runs `act` from its own event loop, then closes it.
struct DialogDriver : QObject
{
    explicit DialogDriver(const char *className, std::function<void(QDialog *)> act = {})
        : className(className), act(std::move(act))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    QStringList seen;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = qobject_cast<QDialog *>(watched);
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (event->type() == QEvent::Show && dialog && dialog->inherits(className)) {
            seen << (box ? box->windowTitle() + ": " + box->text() +
                               (box->textFormat() == Qt::PlainText ? "" : " (markup)")
                         : dialog->metaObject()->className());
            QTimer::singleShot(0, dialog, [this, dialog] {
                if (act)
                    act(dialog);
                dialog->reject();
            });
        }
        return false;
    }
    const char *className;
    std::function<void(QDialog *)> act;
};
