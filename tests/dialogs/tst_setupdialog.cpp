#include "dialogs/setupdialog.h"
#include "edition/edition.h"
#include "tests/support/look.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSetupDialog : public QObject
{
    Q_OBJECT

private slots:
    void setup_data()
    {
        // The executable chooses the edition; the dialog opens prefilled with the account.
        QTest::addColumn<QString>("executable");
        QTest::addColumn<bool>("plain");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("copyTwice");
        QTest::addColumn<bool>("valid"); // "Valider" takes it
        const QString plain = "/opt/tintelle/bin/tintelle", caps = "/opt/SONARO/bin/tintelle";
        QTest::addRow("complete") << plain << true << u"al"_s << u"se"_s << u"0140000000"_s << false
                                  << true;
        QTest::addRow("folder in capitals, copy twice")
            << caps << false << u"al"_s << u"se"_s << u"01"_s << true << true;
        QTest::addRow("in a file name, blanks count")
            << "/usr/bin/mysonarotool" << false << u" "_s << u" s "_s << u" 0 "_s << false << true;
        QTest::addRow("maker's name alone, no login")
            << "/Ivelor/Sonar/sonar0" << true << u""_s << u"se"_s << u"01"_s << false << false;
        QTest::addRow("password empty")
            << plain << true << u"al"_s << u""_s << u""_s << true << false;
        QTest::addRow("number empty")
            << caps << false << u"al"_s << u"se"_s << u""_s << false << false;
    }

    void setup()
    {
        QFETCH(QString, executable);
        QFETCH(bool, plain);
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(QString, number);
        QFETCH(bool, copyTwice);
        QFETCH(bool, valid);
        Edition::selectForExecutable(executable);
        const QString name = QCoreApplication::applicationName();
        // It names the settings scope, so that each edition keeps its own.
        QCOMPARE(QCoreApplication::organizationName() + "/" + name,
                 plain ? "Tintelle/Tintelle" : "Ivelor/Sonaro");
        SetupDialog dialog(login, password, number, copyTwice);
        QSignalSpy spy(&dialog, &SetupDialog::setupSuccess);
        auto *title = dialog.findChild<QLabel *>("title"),
             *logo = dialog.findChild<QLabel *>("labelLogo");
        QVERIFY(dialog.windowTitle().startsWith(name));
        QCOMPARE(title->text(), name + " : Configuration");
        // The plain edition names no maker: its own logo, no help text.
        QCOMPARE(dialog.findChild<QLabel *>("desc")->text().isEmpty() && !logo->pixmap().isNull(),
                 plain);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        // The keyboard starts on the tab bar, first in the tab order; the maker's logo is rich
        // text.
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
            const QImage grab = dialog.grab().toImage();
            const Look heading(grab, title), text(grab, dialog.findChild<QWidget *>(label));
            QVERIFY(heading.mean.lightness() < 128 && heading.contrast > 3 && text.contrast > 3);
            QVERIFY(Look(grab, logo).contrast > 2.5);
        }
        auto *validate = dialog.findChild<QPushButton *>();
        QTest::mouseClick(validate, Qt::LeftButton);
        QCOMPARE(dialog.isVisible(), !valid);
        // Refused, nothing moves: the page and the keyboard stay where the click left them.
        QVERIFY(valid || (QApplication::focusWidget() == validate &&
                          dialog.findChild<QTabWidget *>()->currentIndex() == 1));
        const QVariantList account{login, password, number, copyTwice};
        QCOMPARE(spy.value(0), valid ? account : QVariantList());
    }
};

QTEST_MAIN(TestSetupDialog)
#include "tst_setupdialog.moc"
