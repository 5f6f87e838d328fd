#pragma once

#include "service/ws.h"

#include <QDialog>
#include <QPoint>
#include <QString>
#include <memory>

namespace Ui {
class CallDialog;
}

class QMouseEvent;
class QShowEvent;

// What every call dialog reports, whoever opened it (see CallDialog::notices()): the dialogs
// come and go, the one who tells the user stays.
class CallNotices : public QObject
{
    Q_OBJECT

signals:
    // A copy of another number was refused because a call dialog is open.
    void numberIgnored();
};

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
    // When a call dialog is open already (possibly further up this stack), returns false at once
    // and brings that one to the front. ByUser hands it the keyboard, and unless it is calling,
    // on its edit page with its number selected, so that typing replaces it and Enter calls what
    // the field shows. ByCopy leaves the keyboard alone, and reports numberIgnored() when it
    // carried another number.
    static bool open(const QString &dialNumber, const QString &displayNumber, Opening opening);
    // True while a call dialog of this program is open.
    static bool isOpen();

    // Reports refused copies to whoever tells the user (the tray); a dialog knows nothing of
    // the tray.
    static CallNotices &notices();

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

private:
    void showError(const QString &errorString);

    std::unique_ptr<Ui::CallDialog> ui;
    QString dialNumber;
    QString displayNumber;
    WS ws;
    QPoint dragPosition;
};
