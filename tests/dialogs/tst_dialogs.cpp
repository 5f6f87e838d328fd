#include "dialogs/calldialog.h"
#include "dialogs/setupdialog.h"
#include "edition/edition.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/testsettings.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>
#include <cmath>

namespace {

// What the eye sees of `widget` in its window: the mean colour, and the contrast ratio (1 to 21)
// of its darkest and lightest 2%: text reads well from 4.5 on, a plain area stays near 1.
struct Look
{
    Look(const QWidget *w)
        : part(
              w->window()->grab().toImage().copy(QRect(w->mapTo(w->window(), QPoint()), w->size())))
    {
        mean = part.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(0, 0);
        std::vector<double> light;
        for (int y = 0; y < part.height(); ++y)
            for (int x = 0; x < part.width(); ++x)
                light.push_back(std::pow(qGray(part.pixel(x, y)) / 255.0, 2.2));
        std::sort(light.begin(), light.end());
        const size_t few = light.size() / 50;
        contrast = (light[light.size() - 1 - few] + 0.05) / (light[few] + 0.05);
    }
    QImage part;
    QColor mean;
    double contrast;
};

// Whether a fifth of `image` stands 100 grey levels off `ground`: a panel behind it, a caption.
bool standsOut(const QImage &image, int ground)
{
    int seen = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            seen += qAlpha(image.pixel(x, y)) * qAbs(qGray(image.pixel(x, y)) - ground) >= 25500;
    return seen * 5 >= image.width() * image.height();
}

// What a screen reader stumbles on: unnamed controls, named pictures (as rich text: a placeholder).
QStringList unnamed(const QWidget *window)
{
    QStringList found;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        const QString name = QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
        const auto *label = qobject_cast<QLabel *>(widget);
        if (label && (!label->pixmap().isNull() || name.contains(QChar::ObjectReplacementCharacter))
                ? !name.isEmpty()
                : name.isEmpty() &&
                      (widget->inherits("QAbstractButton") || widget->inherits("QLineEdit")))
            found << widget->objectName();
    }
    return found;
}

// Every call fails before anything is sent (initTestCase), its answer queued: once an event
// queued now has come, so has the answer to every call made before.
void answered()
{
    bool come = false;
    QTimer::singleShot(0, qApp, [&] { come = true; });
    QTRY_VERIFY(come);
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { resetSettings({{"endpoint", "none"}}); } // no address: calls fail at once

    void dialog()
    {
        // Alone, not modal, centred, dragged by its background, all named; green and red buttons.
        DialogDriver user("CallDialog", [](QDialog *dialog) {
            const QPoint start = dialog->pos(), from(2, 2), travel(37, -21);
            QVERIFY(QTest::qWaitForWindowActive(dialog) && !dialog->childAt(from));
            // Modal, it would block a Configuration it shows above.
            QVERIFY(!dialog->isModal() && unnamed(dialog).isEmpty());
            const QPoint centre = dialog->screen()->availableGeometry().center();
            QVERIFY((dialog->geometry().center() - centre).manhattanLength() < 3);
            const Look title(dialog->findChild<QWidget *>("title"));
            const Look go(dialog->findChild<QWidget *>("btncall"));
            const Look stop(dialog->findChild<QWidget *>("btncancel"));
            QVERIFY(title.mean.lightness() < 128 && title.contrast > 3);
            QVERIFY(qAbs(go.mean.hue() - 120) < 30 && go.mean.hsvSaturation() > 80);
            QVERIFY((stop.mean.hue() + 30) % 360 < 60 && stop.mean.hsvSaturation() > 80);
            QVERIFY(standsOut(go.part, 255) && standsOut(stop.part, 255)); // their white captions
            // Dragged by its background, then a move without a button (some platforms send them).
            dialog->setMouseTracking(true);
            QTest::mousePress(dialog, Qt::LeftButton, {}, from);
            QTest::mouseMove(dialog, from + travel);
            QTest::mouseRelease(dialog, Qt::LeftButton, {}, from + travel);
            QTest::mouseMove(dialog->windowHandle(), from + travel);
            QCOMPARE(dialog->pos(), start + travel);
        });
        QVERIFY(CallDialog::open("0033123456789", "0123456789", CallDialog::Opening::ByUser));
        QCOMPARE(user.seen, QStringList{"CallDialog"});
    }

    void input_data()
    {
        QTest::addColumn<QString>("dial");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("keys");   // typed, "\r" as Enter
        QTest::addColumn<QString>("click");  // then: "btnedit" (the pencil) or "btncancel"
        QTest::addColumn<int>("boxes");      // error boxes shown after that: calls made
        QTest::addColumn<QString>("widget"); // that then shows the number; none: closed
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("selected"); // the field's text, so that typing replaces it
        const QString dial = "0033123456789", shown = "0123456789", none;
        const QString field = "numberEdit", label = "number", pencil = "btnedit", twice = "\r\r";
        QTest::addRow("dial form only")
            << dial << none << none << none << 0 << label << dial << false;
        QTest::addRow("shown form only: nothing to call, Enter stays")
            << none << shown << "\r" << none << 0 << field << none << false;
        QTest::addRow("both") << dial << shown << none << none << 0 << label << shown << false;
        QTest::addRow("pencil") << dial << shown << none << pencil << 0 << field << shown << false;
        QTest::addRow("pencil by Tab and Space")
            << dial << shown << "\t " << none << 0 << field << shown << true;
        // Every call fails: the edit page again, with the number as the user last saw it.
        QTest::addRow("Enter calls, then does nothing")
            << dial << shown << twice << none << 1 << field << shown << false;
        QTest::addRow("Tab to the pencil, Enter still calls")
            << dial << shown << "\t\r" << none << 1 << field << shown << false;
        // Sent with an empty called number: the answer is shown like any other.
        QTest::addRow("no number recognised, sent all the same, then nothing")
            << none << none << "poste 12" + twice << none << 1 << field << "poste 12" << false;
        QTest::addRow("cancelled while calling: no answer shown")
            << dial << none << "\r"
            << "btncancel" << 0 << none << none << false;
    }

    void input()
    {
        QFETCH(QString, dial);
        QFETCH(QString, display);
        QFETCH(QString, keys);
        QFETCH(QString, click);
        QFETCH(int, boxes);
        QFETCH(QString, widget);
        DialogDriver errors("QMessageBox");
        DialogDriver user("CallDialog", [&](QDialog *dialog) {
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            for (const QChar c : keys)
                QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
            if (!click.isEmpty())
                QTest::mouseClick(dialog->findChild<QWidget *>(click), Qt::LeftButton);
            QCOMPARE(dialog->isVisible(), !widget.isEmpty());
            if (widget.isEmpty())
                return;
            answered();
            QCOMPARE(errors.seen.size(), boxes);
            QWidget *shown = dialog->findChild<QWidget *>(widget);
            QVERIFY(shown->isVisible());
            const QString text = shown->property("text").toString();
            QTEST(text, "text");
            QVERIFY(text.isEmpty() || Look(shown).contrast > 4.5);
            // An empty field is there to be typed in; otherwise the dialog takes the keys.
            QCOMPARE(dialog->focusWidget(), widget == "numberEdit" ? shown : dialog);
            if (auto *field = qobject_cast<QLineEdit *>(shown))
                QTEST(!text.isEmpty() && field->selectedText() == text, "selected");
        });
        QVERIFY(CallDialog::open(dial, display, CallDialog::Opening::ByUser));
        answered();
        QCOMPARE(errors.seen.size(), boxes);
    }

    void enter_data()
    {
        // A copy's dialog gets the keyboard from the window manager, then Enter, after:
        QTest::addColumn<QString>("before"); // "click" on its background, "wait" enterDelay
        QTest::addColumn<bool>("repeated");  // an Enter held down
        QTest::addColumn<bool>("calls");
        QTest::addRow("at once: no call") << "" << false << false;
        QTest::addRow("held down, later: no call") << "wait" << true << false;
        QTest::addRow("after the moment") << "wait" << false << true;
        QTest::addRow("after a click") << "click" << false << true;
    }

    void enter()
    {
        QFETCH(QString, before);
        QFETCH(bool, repeated);
        DialogDriver user("CallDialog", [&](QDialog *dialog) {
            dialog->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            if (before == "click")
                QTest::mouseClick(dialog, Qt::LeftButton, {}, QPoint(2, 2));
            else if (before == "wait")
                QTest::qWait(CallDialog::enterDelay.count());
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, {}, "\r", repeated);
            QApplication::sendEvent(dialog, &enter);
            QTEST(dialog->findChild<QWidget *>("calling")->isVisible(), "calls");
        });
        QVERIFY(CallDialog::open("0033123456789", "0123456789", CallDialog::Opening::ByCopy));
    }

    void result_data()
    {
        QTest::addColumn<bool>("plain");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("shown"); // in the box, after a failure
        const QString fault = "Identifiant ou mot de passe incorrect", line = "ligne\n";
        const QString words = QString("mots ").repeated(100), x60 = QString(60, 'x');
        QTest::addRow("success") << true << true << fault << "";
        QTest::addRow("501 characters") << true << false << words + "y" << words + "…";
        QTest::addRow("11 lines") << true << false << line.repeated(10)
                                  << line.repeated(9) + "ligne…";
        QTest::addRow("unbroken line: wrapped")
            << true << false << x60 + x60 + "xx" << x60 + "\n" + x60 + "\nxx";
        QTest::addRow("reordering marks dropped")
            << false << false << "\u202E\u0645 refus\u00E9\u202C, \u2067\u200Fici\u2069\u061C"
            << "\u0645 refus\u00E9, ici";
    }

    void result()
    {
        QFETCH(bool, plain);
        QFETCH(bool, success);
        QFETCH(QString, error);
        QFETCH(QString, shown);
        Edition::setPlain(plain);
        CallDialog dialog("0033612345678", "0612345678");
        dialog.show();
        DialogDriver boxes("QMessageBox", [&](QDialog *opened) {
            auto *box = qobject_cast<QMessageBox *>(opened);
            QVERIFY(box->parentWidget() == &dialog && box->icon() == QMessageBox::Critical);
            QCOMPARE(box->standardButtons(), QMessageBox::Ok);
            // The call dialog's style sheet reaches the box: its text must still read well.
            QVERIFY(QTest::qWaitForWindowExposed(box));
            QVERIFY(Look(box->findChild<QLabel *>("qt_msgbox_label")).contrast > 4.5);
        });
        dialog.click2CallResult(success, error);
        Edition::setPlain(true);
        const QString title = plain ? "Erreur lors de l'appel" : "Erreur lors du click2call";
        QCOMPARE(boxes.seen, success ? QStringList() : QStringList{title + ": Erreur: " + shown});
        QCOMPARE(dialog.isVisible(), !success);
    }

    void setup_data()
    {
        // The executable chooses the edition; the dialog opens prefilled with the account.
        QTest::addColumn<QString>("executable");
        QTest::addColumn<bool>("plain");
        QTest::addColumn<QVariantList>("account"); // login, password, number, copy twice
        QTest::addColumn<bool>("valid");           // "Valider" takes it
        const QString plain = "/opt/tintelle/bin/tintelle", caps = "/opt/SONARO/bin/tintelle";
        using A = QVariantList;
        QTest::addRow("folder in capitals, copy twice")
            << caps << false << A{"al", "se", "01", true} << true;
        QTest::addRow("in a file name, blanks count")
            << "/usr/bin/mysonarotool" << false << A{" ", " s ", " 0 ", false} << true;
        QTest::addRow("maker's name alone, no login")
            << "/Ivelor/Sonar/sonar0" << true << A{"", "se", "01", false} << false;
        QTest::addRow("password empty")
            << plain << true << A{"al", "", "0140000000", true} << false;
        QTest::addRow("number empty") << caps << false << A{"al", "se", "", false} << false;
    }

    void setup()
    {
        QFETCH(QString, executable);
        QFETCH(bool, plain);
        QFETCH(QVariantList, account);
        QFETCH(bool, valid);
        Edition::selectForExecutable(executable);
        const QString name = QCoreApplication::applicationName();
        // It names the settings scope, so that each edition keeps its own.
        QCOMPARE(QCoreApplication::organizationName() + "/" + name,
                 plain ? "Tintelle/Tintelle" : "Ivelor/Sonaro");
        // Its icon: the maker's blue, or a grey phone that stands out on a dark and a light panel.
        const QImage icon = QImage(Edition::iconPath())
                                .scaled(22, 22, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QColor shade =
            icon.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(0, 0);
        QCOMPARE(qAbs(shade.hue() - 215) < 30, !plain);
        QVERIFY(!plain || (standsOut(icon, 0x20) && standsOut(icon, 0xf0)));
        SetupDialog dialog(account[0].toString(), account[1].toString(), account[2].toString(),
                           account[3].toBool());
        QSignalSpy spy(&dialog, &SetupDialog::setupSuccess);
        auto *title = dialog.findChild<QLabel *>("title"),
             *logo = dialog.findChild<QLabel *>("labelLogo");
        // The plain edition names no maker: its own logo, no help text.
        QCOMPARE(dialog.findChild<QLabel *>("desc")->text().isEmpty() && !logo->pixmap().isNull(),
                 plain);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        // The keyboard starts on the tab bar; the maker's logo is rich text.
        QVERIFY(qobject_cast<QTabBar *>(QApplication::focusWidget()));
        QCOMPARE(unnamed(&dialog), plain ? QStringList() : QStringList{"labelLogo"});
        for (const char *label : {"numberLabel", "copyTwiceLabel"}) {
            auto *page = dialog.findChild<QWidget *>(label)->parentWidget()->parentWidget();
            dialog.findChild<QTabWidget *>()->setCurrentWidget(page);
            // Nothing cut off: the tab pages are placed by hand.
            for (QWidget *w : dialog.findChildren<QWidget *>())
                if (w->isVisible() && w->findChildren<QWidget *>().isEmpty())
                    QVERIFY2(w->visibleRegion() == QRegion(w->rect()), qPrintable(w->objectName()));
            // What the eye checks: light text and a logo on a dark column, dark text on the page.
            const Look heading(title), text(dialog.findChild<QWidget *>(label));
            QVERIFY(heading.mean.lightness() < 128 && heading.contrast > 3 && text.contrast > 3);
            QVERIFY(Look(logo).contrast > 2.5);
        }
        auto *validate = dialog.findChild<QPushButton *>();
        QTest::mouseClick(validate, Qt::LeftButton);
        QCOMPARE(dialog.isVisible(), !valid);
        // Refused, nothing moves: the page and the keyboard stay where the click left them.
        QVERIFY(valid || (QApplication::focusWidget() == validate &&
                          dialog.findChild<QTabWidget *>()->currentIndex() == 1));
        QCOMPARE(spy.value(0), valid ? account : QVariantList());
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
