// Calls placed from the call dialog for real, through the provider simulator on 127.0.0.1.

#include "boxanswerer.h"
#include "calldialog.h"
#include "calldialoglock.h"
#include "callwidgets.h"
#include "edition.h"
#include "testprovider.h"
#include "testsettings.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

namespace {

const QString wrongPasswordFault = QStringLiteral("Identifiant ou mot de passe incorrect");

} // namespace

class TestCallDialogCall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void failedCall_data();
    void failedCall();
    void successfulCallAccepts();
    void enterWhileCallingDoesNothing_data();
    void enterWhileCallingDoesNothing();
    void cancelDropsTheLateResult();

private:
    TestProvider provider;
};

void TestCallDialogCall::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tintelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Tintelle"));
}

void TestCallDialogCall::cleanup()
{
    Edition::setPlain(true);
    QVERIFY(callDialogLock().tryLock());
    callDialogLock().unlock();
}

void TestCallDialogCall::failedCall_data()
{
    QTest::addColumn<bool>("plain");
    QTest::addColumn<QString>("dial");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("typed"); // empty: "Appeler" pressed on the number page
    QTest::addColumn<QString>("called");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("title");

    QTest::addRow("copied number, plain")
        << true << "0033123456789"
        << "0123456789"
        << ""
        << "0033123456789" << wrongPasswordFault << "Erreur lors de l'appel";
    QTest::addRow("typed with blanks, Enter, branded")
        << false << ""
        << ""
        << "06 12 34 56 78"
        << "0033612345678" << wrongPasswordFault << "Erreur lors du click2call";
    QTest::addRow("no number in the text")
        << true << ""
        << ""
        << "bonjour"
        << "" << QStringLiteral("Numéro appelé manquant") << "Erreur lors de l'appel";
}

void TestCallDialogCall::failedCall()
{
    QFETCH(bool, plain);
    QFETCH(QString, dial);
    QFETCH(QString, display);
    QFETCH(QString, typed);
    QFETCH(QString, called);
    QFETCH(QString, fault);
    QFETCH(QString, title);

    QVERIFY2(provider.start(), qPrintable(provider.errorString()));
    // The empty number row is refused for its number, so its credentials are right.
    const bool rightPassword = called.isEmpty();
    storeAccount(provider.url(),
                 rightPassword ? QStringLiteral("secret") : QStringLiteral("wrong"));
    Edition::setPlain(plain);

    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(dial, display);
    CallWidgets w(dialog);
    QVERIFY(w.complete());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    BoxAnswerer boxes;

    if (typed.isEmpty()) {
        QTest::mousePress(w.btncall, Qt::LeftButton);
        QTest::mouseRelease(w.btncall, Qt::LeftButton);
    } else {
        // Enter typed in the field reaches the dialog; "Appeler" is pressed by mouse otherwise.
        QTest::mouseClick(w.numberEdit, Qt::LeftButton);
        QTest::keyClicks(QApplication::focusWidget(), typed);
        if (typed.contains(QRegularExpression(QStringLiteral("\\d")))) {
            QCOMPARE(QApplication::focusWidget(), w.numberEdit);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        } else {
            QTest::mousePress(w.btncall, Qt::LeftButton);
            QTest::mouseRelease(w.btncall, Qt::LeftButton);
        }
    }
    QCOMPARE(w.stack->currentIndex(), 2);
    QVERIFY(!w.btncall->isVisible());

    QVERIFY(provider.waitForRequests(1));
    QCOMPARE(provider.requests().first().value(QStringLiteral("called")).toString(), called);
    QTRY_COMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen.first().title, title);
    QCOMPARE(boxes.seen.first().text, QStringLiteral("Erreur: ") + fault);
    QCOMPARE(boxes.seen.first().icon, QMessageBox::Critical);
    QCOMPARE(boxes.seen.first().textFormat, Qt::PlainText);
    QCOMPARE(boxes.seen.first().parent, &dialog);

    // Back to the edit page with the number as the user last saw it.
    QTRY_COMPARE(w.stack->currentIndex(), 1);
    QCOMPARE(w.numberEdit->text(), typed.isEmpty() ? display : typed);
    QVERIFY(w.btncall->isVisible());
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.focusWidget(), w.numberEdit);
    // The window manager's part: the dialog is active again once the box has gone.
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(QApplication::focusWidget(), w.numberEdit);

    // Another try from the field is another request.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(provider.waitForRequests(2));
    QCOMPARE(provider.requests().at(1).value(QStringLiteral("called")).toString(), called);
    QTRY_COMPARE(boxes.seen.size(), 2);
    QTRY_COMPARE(w.stack->currentIndex(), 1);
}

void TestCallDialogCall::successfulCallAccepts()
{
    QVERIFY2(provider.start(), qPrintable(provider.errorString()));
    storeAccount(provider.url());

    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(QStringLiteral("0033612345678"), QStringLiteral("0612345678"));
    CallWidgets w(dialog);
    QVERIFY(w.complete());
    BoxAnswerer boxes;
    // As the tray and the clipboard watcher run it.
    QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Return); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));

    QCOMPARE(provider.requests().size(), 1);
    const QJsonObject request = provider.requests().first();
    QCOMPARE(request.value(QStringLiteral("called")).toString(), QStringLiteral("0033612345678"));
    QCOMPARE(request.value(QStringLiteral("calling")).toString(), QStringLiteral("0140000000"));
    QVERIFY(boxes.seen.isEmpty());
}

void TestCallDialogCall::enterWhileCallingDoesNothing_data()
{
    QTest::addColumn<bool>("byMouse");
    QTest::addRow("call placed with Enter") << false;
    QTest::addRow("call placed by mouse") << true;
}

void TestCallDialogCall::enterWhileCallingDoesNothing()
{
    QFETCH(bool, byMouse);

    TestProvider::Options slow;
    slow.delayMs = 600;
    QVERIFY2(provider.start(slow), qPrintable(provider.errorString()));
    storeAccount(provider.url());

    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(QStringLiteral("0033612345678"), QString());
    CallWidgets w(dialog);
    QVERIFY(w.complete());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    BoxAnswerer boxes;

    if (byMouse) {
        QTest::mousePress(w.btncall, Qt::LeftButton);
        QTest::mouseRelease(w.btncall, Qt::LeftButton);
    } else {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }
    QCOMPARE(w.stack->currentIndex(), 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    QVERIFY(dialog.isVisible());
    QCOMPARE(w.stack->currentIndex(), 2);
    QVERIFY(w.btncancel->isVisible());

    // The one request still ends the dialog.
    QTRY_VERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(provider.requests().size(), 1);
    QVERIFY(boxes.seen.isEmpty());
}

void TestCallDialogCall::cancelDropsTheLateResult()
{
    TestProvider::Options slow;
    slow.delayMs = 1500;
    QVERIFY2(provider.start(slow), qPrintable(provider.errorString()));
    // A failure, so that a result that were not dropped would show up as a message box.
    storeAccount(provider.url(), QStringLiteral("wrong"));
    BoxAnswerer boxes;

    QVERIFY(callDialogLock().tryLock());
    {
        CallDialog dialog(QStringLiteral("0033612345678"), QString());
        CallWidgets w(dialog);
        QVERIFY(w.complete());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::mousePress(w.btncall, Qt::LeftButton);
        QTest::mouseRelease(w.btncall, Qt::LeftButton);
        QVERIFY(provider.waitForRequests(1));

        // "Annuler" acts on the press itself, while the answer is still to come.
        QCOMPARE(w.stack->currentIndex(), 2);
        QTest::mousePress(w.btncancel, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QTest::mouseRelease(w.btncancel, Qt::LeftButton);
    }
    QVERIFY(callDialogLock().tryLock());
    callDialogLock().unlock();

    // Past the moment the answer went out.
    QTest::qWait(slow.delayMs + 300);
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(provider.requests().size(), 1);
}

QTEST_MAIN(TestCallDialogCall)
#include "tst_calldialogcall.moc"
