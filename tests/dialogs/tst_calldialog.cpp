// The call dialog on its own: pages, keys, dragging, the lock and the layout. Calls that reach
// the service are in tst_calldialogcall.

#include "boxanswerer.h"
#include "calldialog.h"
#include "calldialoglock.h"
#include "callwidgets.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTest>

namespace {

// A point of the dialog's own background, where a press starts a drag.
QPoint backgroundPoint(const QWidget &dialog)
{
    for (int y = 1; y < dialog.height(); y += 2)
        for (int x = 1; x < dialog.width(); x += 2)
            if (!dialog.childAt(x, y))
                return QPoint(x, y);
    return QPoint(-1, -1);
}

} // namespace

class TestCallDialog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void pageFromArguments_data();
    void pageFromArguments();
    void pencilEditsTheShownNumber();
    void enterWithEmptyFieldDoesNothing();
    void errorTextShownAsItStands_data();
    void errorTextShownAsItStands();
    void escapeRejects_data();
    void escapeRejects();
    void drag_data();
    void drag();
    void lockHeldForTheDialogsLife();
    void layout();
    void hiddenCallButtonLeavesCancelAtTheEnd();
    void styleSheet();
};

void TestCallDialog::cleanup()
{
    // A failed check must not leave the lock to the next test.
    QVERIFY(callDialogLock().tryLock());
    callDialogLock().unlock();
}

void TestCallDialog::pageFromArguments_data()
{
    QTest::addColumn<QString>("dial");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("numberText");

    QTest::addRow("no number") << ""
                               << "" << 1 << "00 00 00 00 00";
    QTest::addRow("dial form only") << "0033612345678"
                                    << "" << 0 << "0033612345678";
    QTest::addRow("shown form only") << ""
                                     << "0612345678" << 1 << "00 00 00 00 00";
    QTest::addRow("from the clipboard") << "0033123456789"
                                        << "0123456789" << 0 << "0123456789";
}

void TestCallDialog::pageFromArguments()
{
    QFETCH(QString, dial);
    QFETCH(QString, display);
    QFETCH(int, page);
    QFETCH(QString, numberText);

    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(dial, display);
    CallWidgets w(dialog);
    QVERIFY(w.complete());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    QCOMPARE(w.stack->currentIndex(), page);
    QCOMPARE(w.number->text(), numberText);
    QCOMPARE(w.numberEdit->text(), QString());
    QVERIFY(w.btncall->isVisible());
    // The dialog itself takes the keys, not the field nor a button.
    QCOMPARE(QApplication::focusWidget(), &dialog);
}

void TestCallDialog::pencilEditsTheShownNumber()
{
    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(QStringLiteral("0033123456789"), QStringLiteral("0123456789"));
    CallWidgets w(dialog);
    QVERIFY(w.complete());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    QTest::mouseClick(w.btnedit, Qt::LeftButton);
    QCOMPARE(w.stack->currentIndex(), 1);
    QCOMPARE(w.numberEdit->text(), QStringLiteral("0123456789"));
    QVERIFY(w.btncall->isVisible());
    QCOMPARE(QApplication::focusWidget(), w.numberEdit);
}

void TestCallDialog::enterWithEmptyFieldDoesNothing()
{
    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog{QString(), QString()};
    CallWidgets w(dialog);
    QVERIFY(w.complete());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    QTest::mouseClick(w.numberEdit, Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), w.numberEdit);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::mousePress(w.btncall, Qt::LeftButton);
    QTest::mouseRelease(w.btncall, Qt::LeftButton);

    QVERIFY(dialog.isVisible());
    QCOMPARE(w.stack->currentIndex(), 1);
    QVERIFY(w.btncall->isVisible());
}

void TestCallDialog::errorTextShownAsItStands_data()
{
    QTest::addColumn<QString>("error");

    QTest::addRow("empty") << "";
    QTest::addRow("a link") << "<a href=\"https://x.invalid/\">Rappelez ici</a>";
    QTest::addRow("markup further on") << "Numéro <b>0612</b> refusé &amp; co";
}

// The error text comes from the far end: it is shown exactly, never read as markup.
void TestCallDialog::errorTextShownAsItStands()
{
    QFETCH(QString, error);

    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(QStringLiteral("0033612345678"), QStringLiteral("0612345678"));
    CallWidgets w(dialog);
    QVERIFY(w.complete());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    BoxAnswerer boxes;

    dialog.click2CallResult(false, error);
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen.first().text, QStringLiteral("Erreur: ") + error);
    QCOMPARE(boxes.seen.first().textFormat, Qt::PlainText);
    QCOMPARE(boxes.seen.first().title, QStringLiteral("Erreur lors de l'appel"));
    QCOMPARE(w.stack->currentIndex(), 1);
    QCOMPARE(w.numberEdit->text(), QStringLiteral("0612345678"));
}

void TestCallDialog::escapeRejects_data()
{
    QTest::addColumn<QString>("dial");
    QTest::addColumn<QString>("typed");

    QTest::addRow("number page") << "0033612345678"
                                 << "";
    QTest::addRow("edit page, typing in the field") << ""
                                                    << "06 12";
}

void TestCallDialog::escapeRejects()
{
    QFETCH(QString, dial);
    QFETCH(QString, typed);

    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(dial, QString());
    CallWidgets w(dialog);
    QVERIFY(w.complete());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    if (!typed.isEmpty()) {
        QTest::mouseClick(w.numberEdit, Qt::LeftButton);
        QTest::keyClicks(w.numberEdit, typed);
    }

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestCallDialog::drag_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("travel");

    QTest::addRow("left button") << Qt::LeftButton << QPoint(37, 21);
    QTest::addRow("right button, up and left") << Qt::RightButton << QPoint(-50, -12);
    QTest::addRow("no button held") << Qt::NoButton << QPoint(40, 40);
}

void TestCallDialog::drag()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, travel);

    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(QStringLiteral("0033612345678"), QString());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint start = dialog.pos();
    const QPoint grab = backgroundPoint(dialog);
    QVERIFY(dialog.rect().contains(grab));

    if (button == Qt::NoButton) {
        // The application hands such a move to no widget without mouse tracking...
        QMouseEvent move(QEvent::MouseMove, QPointF(grab + travel),
                         QPointF(dialog.mapToGlobal(grab + travel)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&dialog, &move);
        QCOMPARE(dialog.pos(), start);
        // ...and the dialog's own handler, reached as the slot it also is, ignores it too.
        QVERIFY(QMetaObject::invokeMethod(&dialog, "mouseMoveEvent", Qt::DirectConnection,
                                          Q_ARG(QMouseEvent *, &move)));
        QTest::qWait(20);
        QCOMPARE(dialog.pos(), start);
        return;
    }
    QTest::mousePress(&dialog, button, {}, grab);
    QTest::mouseMove(&dialog, grab + travel);
    QTest::mouseRelease(&dialog, button, {}, grab + travel);
    QTRY_COMPARE(dialog.pos(), start + travel);
}

void TestCallDialog::lockHeldForTheDialogsLife()
{
    QMutex &lock = callDialogLock();
    QVERIFY(lock.tryLock());
    {
        CallDialog dialog{QString(), QString()};
        // What the tray and the clipboard watcher try before opening a second one.
        QVERIFY(!lock.tryLock());
        dialog.show();
        QVERIFY(!lock.tryLock());
    }
    QVERIFY(lock.tryLock());
    lock.unlock();
}

void TestCallDialog::layout()
{
    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(QStringLiteral("0033612345678"), QStringLiteral("0612345678"));
    CallWidgets w(dialog);
    QVERIFY(w.complete());

    // Centred on the available area of the screen, as a plain frameless window.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(dialog.size(), QSize(610, 131));
    QVERIFY((dialog.geometry().center() - available.center()).manhattanLength() <= 1);
    QCOMPARE(dialog.windowFlags() & ~Qt::WindowType_Mask, Qt::FramelessWindowHint);
    QVERIFY(dialog.windowType() != Qt::Dialog);

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // Its height is left to the layout.
    QCOMPARE(dialog.minimumWidth(), 610);
    dialog.resize(400, 131);
    QCOMPARE(dialog.width(), 610);

    QCOMPARE(w.btncancel->size(), QSize(140, 27));
    QVERIFY(w.btncall->width() >= 140 && w.btncall->height() >= 27);
    QCOMPARE(w.btncall->size(), w.btncall->sizeHint().expandedTo(QSize(140, 27)));
    QVERIFY(w.btncall->isDefault());
    QCOMPARE(w.btncall->text(), QStringLiteral("Appeler"));
    QCOMPARE(w.btncancel->text(), QStringLiteral("Annuler"));
    QCOMPARE(w.btnedit->text(), QString());
    QVERIFY(!w.btnedit->icon().isNull());

    auto *title = dialog.findChild<QLabel *>(QStringLiteral("title"));
    auto *calling = dialog.findChild<QLabel *>(QStringLiteral("calling"));
    auto *iconphone = dialog.findChild<QLabel *>(QStringLiteral("iconphone"));
    QVERIFY(title && calling && iconphone);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Sonaro - Ivelor"));
    QCOMPARE(title->text(), QStringLiteral("Appeler un numéro :"));
    QCOMPARE(calling->text(), QStringLiteral("Appel en cours..."));
    QCOMPARE(iconphone->text(), QStringLiteral("<img src=\":/icon-128-phone.png\"/>"));
    QCOMPARE(iconphone->maximumSize(), QSize(128, 128));
}

void TestCallDialog::hiddenCallButtonLeavesCancelAtTheEnd()
{
    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(QStringLiteral("0033612345678"), QString());
    CallWidgets w(dialog);
    QVERIFY(w.complete());
    auto *row = dialog.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout_3"));
    QVERIFY(row);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    const int rowEnd = row->geometry().right();
    QCOMPARE(w.btncancel->geometry().right(), rowEnd);
    // Together at the right end: the 10 pixel spacer and the row's spacing (a box layout puts
    // none beside a spacer, only once between the two buttons).
    QCOMPARE(w.btncancel->x() - w.btncall->geometry().right() - 1, 10 + row->spacing());

    w.btncall->setVisible(false);
    row->activate();
    QCOMPARE(w.btncancel->geometry().right(), rowEnd);
    QCOMPARE(w.btncancel->size(), QSize(140, 27));
}

void TestCallDialog::styleSheet()
{
    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog{QString(), QString()};
    QCOMPARE(
        dialog.styleSheet(),
        QStringLiteral(
            "QDialog {\n\tbackground: transparent url(\":/call-bg.png\") "
            "repeat-x;\n\tborder:0;\n}\n"
            "QLabel#title { color: #C3C7D0;font-size: 16px }\n"
            "QLabel#number, QLabel#calling { font-size: 24px; }\n\n"
            "QLabel#clickToEdit { font-size: 12px; }\n"
            "QLineEdit#numberEdit { font-size: 24px; }\n"
            "QLabel { color: #fff }\n\n"
            "QPushButton#btnedit { background: transparent;border:0 }\n"
            "QPushButton#btncall { background: transparent url(\":/button-call.png\") no-repeat; "
            "border: 0; color: #fff; }\n"
            "QPushButton#btncancel { background: transparent url(\":/button-cancel.png\") "
            "no-repeat; border:0; color: #fff; }\n"));

    // The labels are drawn straight onto the dialog's picture, in white but for the title.
    auto *number = dialog.findChild<QLabel *>(QStringLiteral("number"));
    auto *title = dialog.findChild<QLabel *>(QStringLiteral("title"));
    QVERIFY(number && title);
    dialog.ensurePolished();
    number->ensurePolished();
    title->ensurePolished();
    QCOMPARE(number->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(title->palette().color(QPalette::WindowText), QColor(0xC3, 0xC7, 0xD0));
    QCOMPARE(number->font().pixelSize(), 24);
    QVERIFY(!number->autoFillBackground());
}

QTEST_MAIN(TestCallDialog)
#include "tst_calldialog.moc"
