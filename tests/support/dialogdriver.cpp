#include "tests/support/dialogdriver.h"

#include <QDialog>
#include <QMessageBox>
#include <QTimer>

bool DialogDriver::eventFilter(QObject *watched, QEvent *event)
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
