#include "setupdialog.h"

#include "edition.h"
#include "ui_setupdialog.h"

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
    }
}

SetupDialog::~SetupDialog()
{
    delete ui;
}

bool SetupDialog::on_validateButton_clicked()
{
    // Blanks count as filled: the values are stored exactly as typed.
    if (ui->login->text().isEmpty() || ui->password->text().isEmpty() ||
        ui->number->text().isEmpty())
        return false;
    emit setupSuccess(ui->login->text(), ui->password->text(), ui->number->text(),
                      ui->copyTwice->isChecked());
    close();
    return true;
}
