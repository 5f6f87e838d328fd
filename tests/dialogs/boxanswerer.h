#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

// Answers every message box that comes up, from the event loop, as a person would: reads it and
// presses OK.
class BoxAnswerer : public QObject
{
public:
    struct Seen
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        Qt::TextFormat textFormat;
        QWidget *parent;
    };

    BoxAnswerer()
    {
        connect(&poll, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box == answered)
                return;
            answered = box;
            seen.append({box->windowTitle(), box->text(), box->icon(), box->textFormat(),
                         box->parentWidget()});
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                QTest::mouseClick(ok, Qt::LeftButton);
        });
        poll.start(10);
    }

    QList<Seen> seen;

private:
    QTimer poll;
    // Guarded: the next box may well be built where the last one was.
    QPointer<QMessageBox> answered;
};
