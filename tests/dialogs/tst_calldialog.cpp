#include "dialogs/calldialog.h"
#include "app/edition.h"
#include "tests/support/testsettings.h"
#include "tests/support/uitest.h"

class TestCallDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { resetSettings({{"endpoint", "https://127.0.0.1:1/"}}); } // refused

    void input_data()
    {
        // Dial and display numbers; keys ("\n" is Enter; "*" clicks the pencil, "x" "Annuler");
        // the widget that then shows the number, none once closed; its text; after the failed
        // call, the number in the field.
        QTest::addColumn<QStringList>("row");
        const QString dial = "0033123456789", shown = "0123456789", busy = "Appel en cours...";
        const QString field = "numberEdit", label = "number", calling = "calling";
        using L = QStringList;
        QTest::addRow("nothing given") << L{"", "", "", field, ""};
        QTest::addRow("dial form only") << L{dial, "", "", label, dial};
        QTest::addRow("shown form only") << L{"", shown, "", field, ""};
        QTest::addRow("both") << L{dial, shown, "", label, shown};
        QTest::addRow("pencil") << L{dial, shown, "*", field, shown};
        QTest::addRow("empty field: Enter stays") << L{"", "", "\n", field, ""};
        QTest::addRow("no digit: Enter sends nothing") << L{"", "", "abc\n", field, "abc"};
        QTest::addRow("Enter calls, then does nothing")
            << L{dial, shown, "\n\n", calling, busy, shown};
        QTest::addRow("typed, Enter calls, then nothing")
            << L{"", "", "06 12\n\n", calling, busy, "06 12"};
        QTest::addRow("cancelled: the late answer shows nothing") << L{dial, "", "\nx", "", ""};
    }

    void input()
    {
        QFETCH(QStringList, row);
        const QString &shows = row[3];
        const int calls = row[2].contains('\n') && row[3] != "numberEdit";
        DialogDriver boxes("QMessageBox");
        DialogDriver user("CallDialog", [&](QDialog *dialog) {
            const auto child = [=](QString name) { return dialog->findChild<QWidget *>(name); };
            const QPoint start = dialog->pos(), from(2, 2), travel(37, -21);
            QVERIFY(QTest::qWaitForWindowActive(dialog) && !dialog->childAt(from));
            QVERIFY(dialog->isModal());
            QCOMPARE(unnamed(dialog), QStringList());
            QVERIFY(!CallDialog::open("", "", CallDialog::Opening::ByCopy)); // one at a time
            const QPoint centre = dialog->screen()->availableGeometry().center();
            QVERIFY((dialog->geometry().center() - centre).manhattanLength() < 3);
            // Dragged by its background, then a move without a button (some platforms send them).
            dialog->setMouseTracking(true);
            QTest::mousePress(dialog, Qt::LeftButton, {}, from);
            QTest::mouseMove(dialog, from + travel);
            QTest::mouseRelease(dialog, Qt::LeftButton, {}, from + travel);
            QTest::mouseMove(dialog->windowHandle(), from + travel);
            QCOMPARE(dialog->pos(), start + travel);
            for (const QChar c : row[2]) {
                if (c == '*' || c == 'x')
                    QTest::mouseClick(child(c == 'x' ? "btncancel" : "btnedit"), Qt::LeftButton);
                else if (c == '\n')
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                else
                    QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
            }
            QCOMPARE(dialog->isVisible(), !shows.isEmpty());
            if (shows.isEmpty())
                return;
            QWidget *shown = child(shows), *call = child("btncall"), *cancel = child("btncancel");
            QCOMPARE(shown->isVisible() ? shown->property("text").toString() : "(hidden)", row[4]);
            // An empty field is there to be typed in; otherwise the dialog takes the keys.
            QCOMPARE(QApplication::focusWidget(), shows == "numberEdit" ? shown : dialog);

            // What the eye checks: legible text on a dark picture, a green and a red button.
            const QImage grab = dialog->grab().toImage();
            const Look title(grab, child("title"));
            const QColor go = Look(grab, call).mean, stop = Look(grab, cancel).mean;
            QVERIFY(title.mean.lightness() < 128 && title.contrast > 3);
            QVERIFY(row[4].isEmpty() || Look(grab, shown).contrast > 4.5);
            QVERIFY(calls || (qAbs(go.hue() - 120) < 30 && go.hsvSaturation() > 80));
            QVERIFY((stop.hue() + 30) % 360 < 60 && stop.hsvSaturation() > 80);
            QTRY_COMPARE(boxes.seen.size(), calls);
            QTest::qWait(100); // time for a second call to fail too
            QCOMPARE(boxes.seen.size(), calls);
            // After a failure: the edit page again, with the number as the user last saw it.
            QVERIFY(!calls || (dialog->focusWidget() == child("numberEdit") &&
                               child("numberEdit")->property("text") == row[5]));
        });
        QVERIFY(CallDialog::open(row[0], row[1], CallDialog::Opening::ByUser));
        QTest::qWait(200); // time for a late answer to show
        QCOMPARE(boxes.seen.size(), calls && !shows.isEmpty());
    }

    void result_data()
    {
        QTest::addColumn<bool>("plain");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("shown"); // null: a success, which closes the dialog
        const QString fault = "Identifiant ou mot de passe incorrect", line = "ligne\n";
        const QString words = QString("mots ").repeated(100), x60 = QString(60, 'x');
        QTest::addRow("success") << true << fault << QString();
        QTest::addRow("plain edition") << true << fault << fault;
        QTest::addRow("branded edition") << false << fault << fault;
        QTest::addRow("501 characters") << true << words + "y" << words + "…";
        QTest::addRow("11 lines") << true << line.repeated(10) << line.repeated(9) + "ligne…";
        QTest::addRow("unbroken line: wrapped")
            << true << x60 + x60 + "xx" << x60 + "\n" + x60 + "\nxx";
        QTest::addRow("reordering marks dropped")
            << false << "\u202E\u0645 refus\u00E9\u202C, \u2067\u200Fici\u2069\u061C"
            << "\u0645 refus\u00E9, ici";
    }

    void result()
    {
        QFETCH(bool, plain);
        QFETCH(QString, error);
        QFETCH(QString, shown);
        Edition::setPlain(plain);
        CallDialog dialog("0033612345678", "0612345678");
        dialog.show();
        QSignalSpy placed(&CallDialog::notices(), &CallNotices::callPlaced);
        DialogDriver boxes("QMessageBox", [](QDialog *box) {
            // Readable whatever its length: dark text on a light ground, all of it inside.
            auto *text = box->findChild<QLabel *>("qt_msgbox_label");
            QVERIFY(QTest::qWaitForWindowExposed(box));
            QVERIFY(Look(box->grab().toImage(), text).contrast > 4.5);
            QVERIFY(box->rect().contains(QRect(text->mapTo(box, QPoint()), text->size())));
        });
        dialog.click2CallResult(shown.isNull(), error);
        Edition::setPlain(true);
        const QString title = plain ? "Erreur lors de l'appel" : "Erreur lors du click2call";
        QCOMPARE(boxes.seen,
                 shown.isNull() ? QStringList() : QStringList{title + ": Erreur: " + shown});
        QCOMPARE(dialog.isVisible(), !shown.isNull());
        // A placed call is told to the user (by the tray), with the number as shown.
        QCOMPARE(placed.value(0), shown.isNull() ? QVariantList{"0612345678"} : QVariantList());
    }
};

QTEST_MAIN(TestCallDialog)
#include "tst_calldialog.moc"
