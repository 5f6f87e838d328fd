#include "calldialog.h"

#include "dialogs/calldialoglock.h"
#include "app/edition.h"
#include "dialogs/ui_calldialog.h"

#include <QDebug>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <mutex>

namespace {

enum Page { NumberPage = 0, EditPage = 1, CallingPage = 2 };

// The service's text is the far end's: cut it to what an error box can show.
QString shortened(const QString &text)
{
    QString shown = text.left(CallDialog::maxErrorCharacters);
    int lines = 0;
    for (int i = 0; i < shown.size(); ++i) {
        if (shown.at(i) == QLatin1Char('\n') && ++lines == CallDialog::maxErrorLines) {
            shown.truncate(i);
            break;
        }
    }
    if (shown.size() == text.size())
        return text;
    qDebug().noquote() << "Service error, shown cut:" << text;
    return shown + QChar(0x2026);
}

} // namespace

bool CallDialog::open(const QString &dialNumber, const QString &displayNumber, Opening opening)
{
    std::unique_lock<QMutex> guard(callDialogLock(), std::try_to_lock);
    if (!guard.owns_lock())
        return false;
    CallDialog dialog(dialNumber, displayNumber);
    if (opening == Opening::ByUser) {
        // Asked for from another program (a second start, a link), the request carries no
        // user time of ours: ask for the keyboard outright.
        dialog.show();
        dialog.raise();
        dialog.activateWindow();
        dialog.exec();
        return true;
    }
    // exec() would activate the window (its modal path stamps a user time); shown this way the
    // window manager leaves the keyboard where it is. The caller still waits for the end.
    dialog.setAttribute(Qt::WA_ShowWithoutActivating);
    QEventLoop loop;
    connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    dialog.show();
    loop.exec(QEventLoop::DialogExec);
    return true;
}

CallDialog::CallDialog(const QString &dialNumber, const QString &displayNumber, QWidget *parent)
    : QDialog(parent), ui(new Ui::CallDialog), dialNumber(dialNumber), displayNumber(displayNumber),
      ws(nullptr), dragPosition(0, 0)
{
    // Replaced, not added to: a parentless frameless window, moved by dragging its background.
    setWindowFlags(Qt::FramelessWindowHint);
    ui->setupUi(this);
    // The keys act through the dialog (Enter calls, Escape cancels), so no button takes the
    // focus: a focused "Annuler" would turn the Enter after "Appeler" into a cancel, and a click
    // on a button or the background would take the focus out of the number field.
    for (QWidget *button : {ui->btncall, ui->btncancel, ui->btnedit})
        button->setFocusPolicy(Qt::NoFocus);

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
    QMessageBox box(QMessageBox::Critical, title, tr("Erreur: ") + shortened(errorString),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    on_btnedit_clicked();
}

void CallDialog::showEvent(QShowEvent *)
{
    // An empty field is there to be typed in; otherwise the dialog itself takes the keys, and
    // Enter presses the default button.
    if (ui->numberStack->currentIndex() == EditPage && ui->numberEdit->text().isEmpty())
        ui->numberEdit->setFocus(Qt::OtherFocusReason);
    else
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
    // The field is about to hide: keep the keys on the dialog, where Enter finds no button.
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
