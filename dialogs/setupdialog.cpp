#include "setupdialog.h"

// Placeholder until the form lands.
namespace Ui {
class SetupDialog
{
};
} // namespace Ui

SetupDialog::SetupDialog(const QString &, const QString &, const QString &, const bool &,
                         QWidget *parent)
    : QDialog(parent), ui(new Ui::SetupDialog)
{
}

SetupDialog::~SetupDialog()
{
    delete ui;
}

bool SetupDialog::on_validateButton_clicked()
{
    return false;
}
