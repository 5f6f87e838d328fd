#include "calldialog.h"

#include "calldialoglock.h"
#include "edition.h"
#include "ui_calldialog.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>

namespace {
enum Page { NumberPage = 0, EditPage = 1, CallingPage = 2 };
}

CallDialog::CallDialog(const QString &dialNumber, const QString &displayNumber, QWidget *parent)
    : QDialog(parent), ui(new Ui::CallDialog), dialNumber(dialNumber), displayNumber(displayNumber),
      ws(nullptr), dragPosition(0, 0)
{
    // Replaced, not added to: a parentless frameless window, moved by dragging its background.
    setWindowFlags(Qt::FramelessWindowHint);
    // WORKAROUND: a dialog without a focus policy of its own hands the focus to its default button
    // once shown (the first button of its focus chain is the pencil), which would then pass it on
    // to "Annuler" when "Appeler" hides, so that a second Enter cancels the call.
    setFocusPolicy(Qt::ClickFocus);
    ui->setupUi(this);

    // With every monitor unplugged there may be no screen at all; leave the position alone then.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));

    if (this->displayNumber.isEmpty())
        this->displayNumber = this->dialNumber;
    if (!this->dialNumber.isEmpty()) {
        ui->numberStack->setCurrentIndex(NumberPage);
        ui->number->setText(this->displayNumber);
    } else {
        ui->numberStack->setCurrentIndex(EditPage);
    }

    connect(&ws, &WS::click2CallResult, this, &CallDialog::click2CallResult);
}

CallDialog::~CallDialog()
{
    // First, so that the lock is free again however the rest of the teardown goes.
    callDialogLock().unlock();
    delete ui;
}

void CallDialog::click2CallResult(bool success, QString errorString)
{
    if (success) {
        accept();
        return;
    }
    const QString title =
        Edition::isPlain() ? tr("Erreur lors de l'appel") : tr("Erreur lors du click2call");
    // What QMessageBox::critical() builds, but the text comes from the far end: it is shown as it
    // stands and never read as markup (a link in it would open a browser).
    QMessageBox box(QMessageBox::Critical, title, tr("Erreur: ") + errorString, QMessageBox::Ok,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    on_btnedit_clicked();
}

void CallDialog::showEvent(QShowEvent *)
{
    // The dialog itself, not the line edit, takes the keys: Enter presses the default button.
    setFocus(Qt::OtherFocusReason);
}

void CallDialog::on_btncall_pressed()
{
    if (ui->numberStack->currentIndex() == EditPage) {
        dialNumber = ui->numberEdit->text();
        displayNumber = dialNumber;
        if (dialNumber.isEmpty())
            return;
    }
    ui->numberStack->setCurrentIndex(CallingPage);
    // A press by mouse gave the button the focus: hiding it would pass that on to "Annuler".
    setFocus(Qt::OtherFocusReason);
    ui->btncall->setVisible(false);
    // displayNumber keeps the text as typed, to give it back after a failure.
    WS::extractNumber(dialNumber, dialNumber);
    ws.click2Call(dialNumber);
}

void CallDialog::on_btncancel_pressed()
{
    // A request under way is dropped with ws when the caller destroys the dialog.
    close();
}

void CallDialog::on_btnedit_clicked()
{
    ui->numberStack->setCurrentIndex(EditPage);
    ui->numberEdit->setText(displayNumber);
    ui->btncall->setVisible(true);
    ui->numberEdit->setFocus(Qt::OtherFocusReason);
}

void CallDialog::mousePressEvent(QMouseEvent *event)
{
    dragPosition = event->position().toPoint();
}

void CallDialog::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() != Qt::NoButton)
        move(pos() + event->position().toPoint() - dragPosition);
}
