#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <functional>

class QDialog;

// Plays the user for each dialog of one class that the code under test runs: records it (a message
// box as "title: text", marked when not plain text, any other by its class), runs `act` from the
// dialog's own event loop, then closes it, so that the code waiting on it goes on.
class DialogDriver : public QObject
{
public:
    explicit DialogDriver(const char *className, std::function<void(QDialog *)> act = {})
        : className(className), act(std::move(act))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    QStringList seen;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    const char *className;
    std::function<void(QDialog *)> act;
};
