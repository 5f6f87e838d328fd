#pragma once

#include "service/ws.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QString>
#include <chrono>
#include <memory>

namespace Ui {
class CallDialog;
}

class QKeyEvent;
class QMouseEvent;
class QShowEvent;

// The frameless dialog through which one call is placed.
class CallDialog : public QDialog
{
    Q_OBJECT

public:
    // Who asked for the dialog.
    enum class Opening {
        // The user, inside the program or starting it without a number (tray, menu, a second
        // start): the dialog takes the keyboard.
        ByUser,
        // Someone else chose the number: a copy, a link, a second start carrying a number. The
        // user works in another window, so the dialog shows on top without taking the keyboard,
        // and keys meant for that window never place a call; a click hands it the keyboard.
        ByCopy,
    };

    // The one way to open a call dialog: tries a lock without waiting, and while it holds it
    // shows the dialog and returns once the dialog has closed. No dialog of the program is
    // blocked meanwhile (only above one that is modal is it modal too, or it could not be used).
    // False at once, changing nothing, while a call dialog is open (possibly further up this
    // stack): current() is that one. ByUser hands the new dialog the keyboard; ByCopy leaves the
    // keyboard alone and keeps the dialog off `avoid` (the fields of a window in use) when the
    // screen has room.
    static bool open(const QString &dialNumber, const QString &displayNumber, Opening opening,
                     const QRect &avoid = QRect());
    // The call dialog of this program that is open, if any.
    static CallDialog *current();
    static bool isOpen() { return current() != nullptr; }

    // For the user who asked for the open dialog again: in front with the keyboard and, unless
    // it is calling, on its edit page with its number selected, so that typing replaces it and
    // Enter calls what the field shows.
    void takeKeyboardForTyping();

    // After the keyboard came to the dialog other than by the user's own act (a window above it
    // closing, the window manager), Enter places no call for this long: an Enter meant for the
    // window that closed, or pressed twice, must not call. A click in the dialog ends it.
    static constexpr std::chrono::milliseconds enterDelay{750};

    CallDialog(const QString &dialNumber, const QString &displayNumber, QWidget *parent = nullptr);
    ~CallDialog() override;

    // The bounds of a service error in the error box, which would otherwise grow past the screen
    // with the far end's text: longer ones are cut there, with "…", and logged whole; a run of
    // characters without a blank is broken after maxErrorRun.
    static constexpr int maxErrorCharacters = 500;
    static constexpr int maxErrorLines = 10;
    static constexpr int maxErrorRun = 60;

public slots:
    void click2CallResult(bool success, QString errorString);

private slots:
    void showEvent(QShowEvent *) override;

    void on_btncall_pressed();
    void on_btncancel_pressed();
    void on_btnedit_clicked();
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Moves it off `avoid` (the fields of a window in use) when the screen has room.
    void keepOff(const QRect &avoid);
    void showError(const QString &errorString);

    std::unique_ptr<Ui::CallDialog> ui;
    QString dialNumber;
    QString displayNumber;
    WS ws;
    QPoint dragPosition;
    // Until then Enter does not call (enterDelay); expired when the keyboard came by the user.
    QDeadlineTimer enterGuard;
    bool keyboardAsked = false;
};
