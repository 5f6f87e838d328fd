#include "calldialog.h"

#include "calldialoglock.h"

// Placeholder until the form lands.
namespace Ui {
class CallDialog
{
};
} // namespace Ui

CallDialog::CallDialog(const QString &dialNumber, const QString &displayNumber, QWidget *parent)
    : QDialog(parent), ui(new Ui::CallDialog), dialNumber(dialNumber),
      displayNumber(displayNumber), ws(nullptr)
{
}

CallDialog::~CallDialog()
{
    callDialogLock().unlock();
    delete ui;
}

void CallDialog::click2CallResult(bool, QString) {}
void CallDialog::showEvent(QShowEvent *) {}
void CallDialog::on_btncall_pressed() {}
void CallDialog::on_btncancel_pressed() {}
void CallDialog::on_btnedit_clicked() {}
void CallDialog::mousePressEvent(QMouseEvent *) {}
void CallDialog::mouseMoveEvent(QMouseEvent *) {}
