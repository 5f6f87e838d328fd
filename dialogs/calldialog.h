#pragma once

#include "service/ws.h"

#include <QDialog>
#include <QPoint>
#include <QString>

namespace Ui {
class CallDialog;
}

class QMouseEvent;
class QShowEvent;

// The frameless dialog through which one call is placed.
class CallDialog : public QDialog
{
    Q_OBJECT

public:
    // Who asked for the dialog. A copy happens while the user works in another window: the
    // dialog then shows on top without taking the keyboard, so that keys meant for that window
    // never place a call; a click on it hands it the keyboard. The user's own requests (tray,
    // menu, a tel: link) activate it.
    enum class Opening { ByUser, ByCopy };

    // The one way to open a call dialog: tries callDialogLock() without waiting, and while it
    // holds it shows the dialog and returns once the dialog has closed. Returns false at once,
    // showing nothing, when a call dialog is open already (possibly further up this stack).
    static bool open(const QString &dialNumber, const QString &displayNumber, Opening opening);

    CallDialog(const QString &dialNumber, const QString &displayNumber, QWidget *parent = nullptr);
    ~CallDialog() override;

    // The longest service error shown in the error box; longer ones are cut there, with "…",
    // and logged whole.
    static constexpr int maxErrorCharacters = 500;
    static constexpr int maxErrorLines = 10;

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
    Ui::CallDialog *ui;
    QString dialNumber;
    QString displayNumber;
    WS ws;
    QPoint dragPosition;
};
