#include "calldialog.h"

#include "dialogs/ui_calldialog.h"
#include "edition/edition.h"

#include <QApplication>
#include <QDebug>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QMutex>
#include <QPixmap>
#include <QScreen>
#include <QStyle>
#include <QWindow>
#include <algorithm>
#include <mutex>

namespace {

// Held for as long as a call dialog is open; only CallDialog::open() takes it, and only ever
// tries it. It guards against re-entry from nested event loops on the one GUI thread, not against
// other threads: being non-recursive, a second try by the thread that holds it fails.
QMutex openLock;

enum Page { NumberPage = 0, EditPage = 1, CallingPage = 2 };

// Marks that reorder text: in a far end's text they can turn a word around ("refusé" read
// backwards), so they are dropped.
bool isBidiControl(QChar c)
{
    const char16_t u = c.unicode();
    return u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069) || u == 0x061C;
}

// The service's text is the far end's: cut it to what an error box can show, and make it read as
// it is written.
QString readable(const QString &text)
{
    QString shown = text.left(CallDialog::maxErrorCharacters);
    int lines = 0;
    for (int i = 0; i < shown.size(); ++i) {
        if (shown.at(i) == QLatin1Char('\n') && ++lines == CallDialog::maxErrorLines) {
            shown.truncate(i);
            break;
        }
    }
    if (shown.size() != text.size()) {
        qDebug().noquote() << "Service error, shown cut:" << text;
        shown += QChar(0x2026);
    }
    shown.removeIf(isBidiControl);
    QString wrapped;
    int run = 0;
    for (const QChar c : std::as_const(shown)) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > CallDialog::maxErrorRun) {
            wrapped += QLatin1Char('\n');
            run = 1;
        }
        wrapped += c;
    }
    return wrapped;
}

// Where a dialog of `size` goes to stay off `avoid` within `screen`: below it, else above it,
// else on the side with more room.
QPoint besideOf(const QRect &avoid, QSize size, const QRect &screen)
{
    constexpr int gap = 8;
    const int x = std::clamp(avoid.center().x() - size.width() / 2, screen.left(),
                             std::max(screen.left(), screen.right() + 1 - size.width()));
    const int below = avoid.bottom() + 1 + gap, above = avoid.top() - gap - size.height();
    if (below + size.height() <= screen.bottom() + 1)
        return {x, below};
    if (above >= screen.top())
        return {x, above};
    const bool roomBelow = screen.bottom() - avoid.bottom() >= avoid.top() - screen.top();
    return {x, roomBelow ? screen.bottom() + 1 - size.height() : screen.top()};
}

} // namespace

bool CallDialog::open(const QString &dialNumber, const QString &displayNumber, Opening opening,
                      const QRect &avoid)
{
    std::unique_lock<QMutex> guard(openLock, std::try_to_lock);
    if (!guard.owns_lock())
        return false;
    CallDialog dialog(dialNumber, displayNumber);
    // Modal before it shows, or it could be shown under a modal box of the program and blocked
    // by it. Otherwise not: the Configuration it may show beside keeps its keyboard and its Enter.
    if (QApplication::activeModalWidget())
        dialog.setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    if (opening == Opening::ByCopy) {
        dialog.keepOff(avoid);
        dialog.setAttribute(Qt::WA_ShowWithoutActivating);
        dialog.show();
    } else {
        // A second start carries no user time of ours: ask for the keyboard outright.
        dialog.keyboardAsked = true;
        dialog.show();
        dialog.raise();
        dialog.activateWindow();
    }
    loop.exec(QEventLoop::DialogExec);
    return true;
}

CallDialog *CallDialog::current()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<CallDialog *>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

void CallDialog::keepOff(const QRect &avoid)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen();
        screen && avoid.intersects(frameGeometry()))
        move(besideOf(avoid, size(), screen->availableGeometry()));
}

void CallDialog::takeKeyboardForTyping()
{
    raise();
    if (ui->numberStack->currentIndex() == NumberPage)
        on_btnedit_clicked();
    if (ui->numberStack->currentIndex() == EditPage) {
        ui->numberEdit->setFocus(Qt::OtherFocusReason);
        ui->numberEdit->selectAll();
    }
    // Already active, it gets no activation that would clear the flag.
    keyboardAsked = !isActiveWindow();
    activateWindow();
}

CallDialog::CallDialog(const QString &dialNumber, const QString &displayNumber, QWidget *parent)
    : QDialog(parent), ui(new Ui::CallDialog), dialNumber(dialNumber), displayNumber(displayNumber),
      ws(nullptr), dragPosition(0, 0)
{
    // Replaced, not added to: a parentless frameless window, moved by dragging its background.
    setWindowFlags(Qt::FramelessWindowHint);
    ui->setupUi(this);
    // The same picture, but as an image that a screen reader passes over, not as a text.
    ui->iconphone->setPixmap(QPixmap(QStringLiteral(":/icon-128-phone.png")));
    // The keys act through the dialog (Enter calls, Escape cancels), so no button takes the
    // focus by a click: a focused "Annuler" would turn the Enter after "Appeler" into a cancel,
    // and a click on a button or the background would take the focus out of the number field.
    // The pencil alone is reached by Tab, so that a number can be corrected without a mouse;
    // Space presses it, Enter still goes to "Appeler".
    for (QWidget *button : {ui->btncall, ui->btncancel})
        button->setFocusPolicy(Qt::NoFocus);
    ui->btnedit->setFocusPolicy(Qt::TabFocus);
    ui->btnedit->setAutoDefault(false);
    ui->btnedit->setToolTip(tr("Modifier le numéro"));
    // Without a focus policy of its own, the dialog would see the pencil first in the chain and
    // hand the focus to "Appeler" as it shows, where Space would call.
    setFocusPolicy(Qt::TabFocus);

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
    // A press anywhere in the dialog is the user's own act (see enterDelay).
    qApp->installEventFilter(this);
}

CallDialog::~CallDialog() = default;

void CallDialog::click2CallResult(bool success, QString errorString)
{
    if (success) {
        accept();
        return;
    }
    showError(errorString);
    on_btnedit_clicked();
}

void CallDialog::showError(const QString &errorString)
{
    const QString title =
        Edition::isPlain() ? tr("Erreur lors de l'appel") : tr("Erreur lors du click2call");
    // What QMessageBox::critical(this, title, text, Ok, NoButton) shows, Ok its default button,
    // but the text comes from the far end: it is never read as markup (a link in it would open a
    // browser).
    QMessageBox box(QMessageBox::Critical, title, tr("Erreur: ") + readable(errorString),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
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

void CallDialog::keyPressEvent(QKeyEvent *event)
{
    // A held Enter repeats into whatever window comes next: never a call.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->isAutoRepeat() || !enterGuard.hasExpired())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CallDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        const bool byUser = keyboardAsked || QGuiApplication::mouseButtons() != Qt::NoButton;
        enterGuard = byUser ? QDeadlineTimer() : QDeadlineTimer(enterDelay);
        keyboardAsked = false;
    }
    QDialog::changeEvent(event);
}

bool CallDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() &&
        static_cast<QWidget *>(watched)->window() == this)
        enterGuard = QDeadlineTimer();
    return QDialog::eventFilter(watched, event);
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
    // displayNumber keeps the text as typed, to give it back after a failure. Text without a
    // number goes as an empty number, and the provider's answer tells.
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
    // Pressed from the keyboard, the pencil holds the focus: what is typed next replaces the
    // number, as after a double-click on the tray, rather than being added to it.
    const bool fromKeyboard = ui->btnedit->hasFocus();
    ui->numberStack->setCurrentIndex(EditPage);
    ui->numberEdit->setText(displayNumber);
    ui->btncall->setVisible(true);
    ui->numberEdit->setFocus(Qt::OtherFocusReason);
    if (fromKeyboard)
        ui->numberEdit->selectAll();
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
