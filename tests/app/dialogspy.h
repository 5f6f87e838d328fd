#pragma once

#include <QDialog>
#include <QObject>
#include <QStringList>
#include <functional>

// Watches the application for dialogs of one class being shown. Each one shown is recorded and
// then closed (rejected) from the event loop, so code that runs dialogs modally goes on.
// While the dialog is open, an optional action runs inside its modal event loop.
class DialogSpy : public QObject
{
    Q_OBJECT

public:
    explicit DialogSpy(const char *className, QObject *parent = nullptr);
    ~DialogSpy() override;

    // Runs once for every dialog shown, inside its modal loop, before it is closed.
    std::function<void(QDialog *)> whileOpen;

    // One entry per dialog shown: the text of its `number` label when its number page is
    // current, otherwise "edit:" followed by the text of its line edit.
    QStringList shown;
    // Call dialogs at the same time on screen, at most, seen while recording.
    int mostOpenAtOnce = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    const char *className;
    int open = 0;
};
