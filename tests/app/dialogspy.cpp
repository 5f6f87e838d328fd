#include "dialogspy.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTimer>

DialogSpy::DialogSpy(const char *className, QObject *parent) : QObject(parent), className(className)
{
    qApp->installEventFilter(this);
}

DialogSpy::~DialogSpy()
{
    qApp->removeEventFilter(this);
}

bool DialogSpy::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Show || !watched->inherits(className))
        return false;
    auto *dialog = qobject_cast<QDialog *>(watched);
    if (!dialog || !dialog->isWindow())
        return false;

    ++open;
    mostOpenAtOnce = qMax(mostOpenAtOnce, open);
    const auto *stack = dialog->findChild<QStackedWidget *>(QStringLiteral("numberStack"));
    const auto *number = dialog->findChild<QLabel *>(QStringLiteral("number"));
    const auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("numberEdit"));
    if (stack && number && stack->currentIndex() == 0)
        shown << number->text();
    else
        shown << QStringLiteral("edit:") + (edit ? edit->text() : QString());

    // Run the action and close from the dialog's own modal loop, not from within show().
    QTimer::singleShot(0, dialog, [this, dialog] {
        if (whileOpen)
            whileOpen(dialog);
        --open;
        dialog->reject();
    });
    return false;
}
