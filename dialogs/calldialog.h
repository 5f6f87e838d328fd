#pragma once

#include "ws.h"

#include <QDialog>
#include <QPoint>
#include <QString>

namespace Ui {
class CallDialog;
}

class QMouseEvent;
class QShowEvent;

// The frameless dialog through which one call is placed.
// The caller must hold callDialogLock(); the destructor releases it.
class CallDialog : public QDialog
{
    Q_OBJECT

public:
    CallDialog(const QString &dialNumber, const QString &displayNumber, QWidget *parent = nullptr);
    ~CallDialog() override;

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
