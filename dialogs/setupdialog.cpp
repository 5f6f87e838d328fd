#include "setupdialog.h"

#include "dialogs/ui_setupdialog.h"
#include "edition/edition.h"

#include <QLineEdit>
#include <QPixmap>

SetupDialog::SetupDialog(const QString &login, const QString &password, const QString &number,
                         const bool &copyTwice, QWidget *parent)
    : QDialog(parent), ui(new Ui::SetupDialog)
{
    ui->setupUi(this);
    ui->login->setText(login);
    ui->password->setText(password);
    ui->number->setText(number);
    ui->copyTwice->setChecked(copyTwice);
    // The form carries the branded edition's texts; the plain edition names nobody.
    if (Edition::isPlain()) {
        setWindowTitle(QStringLiteral("Tintelle"));
        ui->title->setText(QStringLiteral("Tintelle : Configuration"));
        ui->labelLogo->setPixmap(QPixmap(QStringLiteral(":/phone-logo-md.png")));
        ui->desc->setText(QString());
        // The help text is what widened the right column; without it the column would shrink to
        // the heading and cut off the fields and the copy-twice box, which are placed by hand.
        ui->verticalWidget_2->setMinimumWidth(ui->verticalWidget_2->maximumWidth());
    }
}

SetupDialog::~SetupDialog() = default;

bool SetupDialog::on_validateButton_clicked()
{
    // Blanks count as filled: the values are stored exactly as typed. A refusal changes nothing,
    // the keyboard stays where it was.
    for (QLineEdit *field : {ui->login, ui->password, ui->number}) {
        if (field->text().isEmpty())
            return false;
    }
    emit setupSuccess(ui->login->text(), ui->password->text(), ui->number->text(),
                      ui->copyTwice->isChecked());
    close();
    return true;
}
