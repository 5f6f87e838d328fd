#include "edition.h"
#include "setupdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

struct SetupWidgets
{
    explicit SetupWidgets(QWidget &dialog)
        : login(dialog.findChild<QLineEdit *>(QStringLiteral("login"))),
          password(dialog.findChild<QLineEdit *>(QStringLiteral("password"))),
          number(dialog.findChild<QLineEdit *>(QStringLiteral("number"))),
          copyTwice(dialog.findChild<QCheckBox *>(QStringLiteral("copyTwice"))),
          validateButton(dialog.findChild<QPushButton *>(QStringLiteral("validateButton"))),
          tabWidget(dialog.findChild<QTabWidget *>(QStringLiteral("tabWidget")))
    {
    }
    bool complete() const
    {
        return login && password && number && copyTwice && validateButton && tabWidget;
    }

    QLineEdit *login;
    QLineEdit *password;
    QLineEdit *number;
    QCheckBox *copyTwice;
    QPushButton *validateButton;
    QTabWidget *tabWidget;
};

void typeInto(QLineEdit *field, const QString &text)
{
    QTest::mouseClick(field, Qt::LeftButton);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

const char logoRichText[] =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" "
    "\"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
    "<html><head><meta name=\"qrichtext\" content=\"1\" /><style type=\"text/css\">\n"
    "p, li { white-space: pre-wrap; }\n"
    "</style></head><body style=\" font-family:'Lucida Grande'; font-size:13pt; "
    "font-weight:400; font-style:normal;\">\n"
    "<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
    "-qt-block-indent:0; text-indent:0px;\"><img src=\":/logo-ivelor-100.png\" /></p>"
    "</body></html>";

} // namespace

class TestSetupDialog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void validate_data();
    void validate();
    void closingEmitsNothing_data();
    void closingEmitsNothing();
    void prefilled_data();
    void prefilled();
    void tabOrder();
    void accountRows();
    void editionTexts_data();
    void editionTexts();
    void nothingCutOff_data();
    void nothingCutOff();
    void styleSheets();
};

void TestSetupDialog::cleanup()
{
    Edition::setPlain(true);
}

void TestSetupDialog::validate_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("copyTwice");
    QTest::addColumn<bool>("byReturn");
    QTest::addColumn<bool>("accepted");

    QTest::addRow("all filled, box unchecked") << "alice"
                                               << "secret"
                                               << "0140000000" << false << false << true;
    QTest::addRow("box checked") << "alice"
                                 << "secret"
                                 << "0140000000" << true << false << true;
    QTest::addRow("a blank login counts") << " "
                                          << "secret"
                                          << "0140000000" << false << false << true;
    QTest::addRow("blanks around kept") << "  alice "
                                        << " s e "
                                        << " 01 40 " << false << false << true;
    QTest::addRow("Return in a field") << "alice"
                                       << "secret"
                                       << "0140000000" << true << true << true;
    QTest::addRow("login empty") << ""
                                 << "secret"
                                 << "0140000000" << false << false << false;
    QTest::addRow("password empty") << "alice"
                                    << ""
                                    << "0140000000" << false << false << false;
    QTest::addRow("number empty") << "alice"
                                  << "secret"
                                  << "" << true << false << false;
    QTest::addRow("all empty") << ""
                               << ""
                               << "" << false << false << false;
    QTest::addRow("number empty, Return") << "alice"
                                          << "secret"
                                          << "" << false << true << false;
}

void TestSetupDialog::validate()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(QString, number);
    QFETCH(bool, copyTwice);
    QFETCH(bool, byReturn);
    QFETCH(bool, accepted);

    SetupDialog dialog(QString(), QString(), QString(), false);
    SetupWidgets w(dialog);
    QVERIFY(w.complete());
    QSignalSpy spy(&dialog, &SetupDialog::setupSuccess);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    typeInto(w.login, login);
    typeInto(w.password, password);
    typeInto(w.number, number);
    if (copyTwice) {
        w.tabWidget->setCurrentIndex(1);
        // The box has no caption: only its indicator takes the click.
        QStyleOptionButton option;
        option.initFrom(w.copyTwice);
        const QRect indicator = w.copyTwice->style()->subElementRect(QStyle::SE_CheckBoxIndicator,
                                                                     &option, w.copyTwice);
        QTest::mouseClick(w.copyTwice, Qt::LeftButton, {}, indicator.center());
        QVERIFY(w.copyTwice->isChecked());
        w.tabWidget->setCurrentIndex(0);
    }
    if (byReturn)
        QTest::keyClick(w.number, Qt::Key_Return);
    else
        QTest::mouseClick(w.validateButton, Qt::LeftButton);

    if (!accepted) {
        QCOMPARE(spy.count(), 0);
        QVERIFY(dialog.isVisible());
        QCOMPARE(w.login->text(), login);
        QCOMPARE(w.password->text(), password);
        QCOMPARE(w.number->text(), number);
        return;
    }
    QCOMPARE(spy.count(), 1);
    const QList<QVariant> values = spy.takeFirst();
    QCOMPARE(values.at(0).toString(), login);
    QCOMPARE(values.at(1).toString(), password);
    QCOMPARE(values.at(2).toString(), number);
    QCOMPARE(values.at(3).toBool(), copyTwice);
    QVERIFY(!dialog.isVisible());
}

void TestSetupDialog::closingEmitsNothing_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::addRow("Escape") << true;
    QTest::addRow("window closed") << false;
}

void TestSetupDialog::closingEmitsNothing()
{
    QFETCH(bool, byEscape);

    SetupDialog dialog(QStringLiteral("alice"), QStringLiteral("secret"),
                       QStringLiteral("0140000000"), false);
    SetupWidgets w(dialog);
    QVERIFY(w.complete());
    QSignalSpy spy(&dialog, &SetupDialog::setupSuccess);
    int result = -1;
    QTimer::singleShot(0, &dialog, [&] {
        typeInto(w.login, QStringLiteral("bob"));
        if (byEscape)
            QTest::keyClick(w.login, Qt::Key_Escape);
        else
            dialog.close();
    });
    result = dialog.exec();
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(spy.count(), 0);
}

void TestSetupDialog::prefilled_data()
{
    QTest::addColumn<bool>("copyTwice");
    QTest::addRow("box checked") << true;
    QTest::addRow("box unchecked") << false;
}

void TestSetupDialog::prefilled()
{
    QFETCH(bool, copyTwice);

    SetupDialog dialog(QStringLiteral("alice"), QStringLiteral("s3cret"),
                       QStringLiteral("01 40 00 00 00"), copyTwice);
    SetupWidgets w(dialog);
    QVERIFY(w.complete());
    QCOMPARE(w.login->text(), QStringLiteral("alice"));
    QCOMPARE(w.password->text(), QStringLiteral("s3cret"));
    QCOMPARE(w.password->echoMode(), QLineEdit::Password);
    QCOMPARE(w.number->text(), QStringLiteral("01 40 00 00 00"));
    QCOMPARE(w.copyTwice->isChecked(), copyTwice);
    QCOMPARE(w.tabWidget->currentIndex(), 0);

    // Validating unchanged values hands them back as they came.
    QSignalSpy spy(&dialog, &SetupDialog::setupSuccess);
    dialog.show();
    QTest::mouseClick(w.validateButton, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(3).toBool(), copyTwice);
}

void TestSetupDialog::tabOrder()
{
    SetupDialog dialog(QString(), QString(), QString(), false);
    SetupWidgets w(dialog);
    QVERIFY(w.complete());
    QTabBar *bar = w.tabWidget->tabBar();

    // The whole chain, the hidden page included.
    QList<QWidget *> chain;
    QWidget *next = bar;
    do {
        // The tab bar's own scroll buttons stay hidden; the tab widget hands on to its bar.
        if ((next->focusPolicy() & Qt::TabFocus) && !next->focusProxy() &&
            next->parentWidget() != bar)
            chain << next;
        next = next->nextInFocusChain();
    } while (next != bar);
    QCOMPARE(chain,
             (QList<QWidget *>{bar, w.login, w.password, w.number, w.copyTwice, w.validateButton}));

    // What Tab does on each page.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    const QList<QList<QWidget *>> pages = {{bar, w.login, w.password, w.number, w.validateButton},
                                           {bar, w.copyTwice, w.validateButton}};
    for (int page = 0; page < pages.size(); ++page) {
        w.tabWidget->setCurrentIndex(page);
        bar->setFocus(Qt::TabFocusReason);
        for (QWidget *expected : pages.at(page)) {
            QCOMPARE(QApplication::focusWidget(), expected);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
    }
}

void TestSetupDialog::accountRows()
{
    SetupDialog dialog(QString(), QString(), QString(), false);
    auto *form = dialog.findChild<QFormLayout *>(QStringLiteral("from"));
    QVERIFY(form);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // Three rows on screen, in this order, each label beside its field.
    const QStringList labels = {QStringLiteral("Identifiant"), QStringLiteral("Mot de passe"),
                                QStringLiteral("Numéro appelant")};
    const QStringList fields = {QStringLiteral("login"), QStringLiteral("password"),
                                QStringLiteral("number")};
    int previousBottom = -1;
    for (int i = 0; i < labels.size(); ++i) {
        QLabel *label = nullptr;
        QWidget *field = dialog.findChild<QLineEdit *>(fields.at(i));
        for (QLabel *candidate : dialog.findChildren<QLabel *>())
            if (candidate->text() == labels.at(i))
                label = candidate;
        QVERIFY2(label && field, qPrintable(labels.at(i)));
        QVERIFY(label->isVisible() && field->isVisible());
        QCOMPARE(form->labelForField(field), label);
        QVERIFY(field->geometry().top() > previousBottom);
        previousBottom = field->geometry().bottom();
    }
}

void TestSetupDialog::editionTexts_data()
{
    QTest::addColumn<bool>("plain");
    QTest::addColumn<QString>("windowTitle");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("desc");

    QTest::addRow("plain") << true << "Tintelle"
                           << "Tintelle : Configuration"
                           << "";
    QTest::addRow("branded")
        << false << "Sonaro - Ivelor"
        << "Sonaro : Configuration"
        << "Vous pouvez créer un identifiant Click2Call dans le manager téléphonie d'Ivelor "
           "(Gestion des appels > Click2Call).\n\nUne fois Sonaro configuré, il vous suffira de "
           "copier un numéro dans votre presse-papier pour l'appeler.";
}

void TestSetupDialog::editionTexts()
{
    QFETCH(bool, plain);
    QFETCH(QString, windowTitle);
    QFETCH(QString, title);
    QFETCH(QString, desc);

    Edition::setPlain(plain);
    SetupDialog dialog(QString(), QString(), QString(), false);
    auto *titleLabel = dialog.findChild<QLabel *>(QStringLiteral("title"));
    auto *descLabel = dialog.findChild<QLabel *>(QStringLiteral("desc"));
    auto *logo = dialog.findChild<QLabel *>(QStringLiteral("labelLogo"));
    QVERIFY(titleLabel && descLabel && logo);

    QCOMPARE(dialog.windowTitle(), windowTitle);
    QCOMPARE(titleLabel->text(), title);
    QCOMPARE(descLabel->text(), desc);
    if (plain) {
        const QImage shown = logo->pixmap().toImage();
        QVERIFY(!shown.isNull());
        QCOMPARE(
            shown.convertToFormat(QImage::Format_ARGB32),
            QImage(QStringLiteral(":/phone-logo-md.png")).convertToFormat(QImage::Format_ARGB32));
    } else {
        QVERIFY(logo->pixmap().isNull());
        QCOMPARE(logo->text(), QString::fromUtf8(logoRichText));
        QCOMPARE(logo->textFormat(), Qt::AutoText);
        QVERIFY(Qt::mightBeRichText(logo->text()));
    }

    // Neither edition changes the rest of the form.
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("validateButton"))->text(),
             QStringLiteral("Valider"));
    auto *tabs = dialog.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QCOMPARE(tabs->tabText(0), QStringLiteral("Général"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Options avancées"));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("copyTwiceLabel"))->text(),
             QStringLiteral("Copier deux fois pour appeler "));
    QCOMPARE(dialog.findChild<QCheckBox *>(QStringLiteral("copyTwice"))->text(), QString());
}

void TestSetupDialog::nothingCutOff_data()
{
    QTest::addColumn<bool>("plain");
    QTest::addColumn<int>("tab");

    QTest::addRow("plain, account") << true << 0;
    QTest::addRow("plain, advanced options") << true << 1;
    QTest::addRow("branded, account") << false << 0;
    QTest::addRow("branded, advanced options") << false << 1;
}

// The tab pages are placed by hand; the column around them must leave room for them in both
// editions, the plain one having no help text to widen it.
void TestSetupDialog::nothingCutOff()
{
    QFETCH(bool, plain);
    QFETCH(int, tab);

    Edition::setPlain(plain);
    SetupDialog dialog(QStringLiteral("alice"), QStringLiteral("secret"),
                       QStringLiteral("01 40 00 00 00"), true);
    auto *tabs = dialog.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QVERIFY(tabs);
    tabs->setCurrentIndex(tab);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    int checked = 0;
    for (QWidget *child : dialog.findChildren<QWidget *>()) {
        const bool used = qobject_cast<QLabel *>(child) || qobject_cast<QLineEdit *>(child) ||
                          qobject_cast<QAbstractButton *>(child);
        if (!used || !child->isVisible() || child->objectName().startsWith(QLatin1String("qt_")))
            continue;
        QVERIFY2(child->visibleRegion() == QRegion(child->rect()), qPrintable(child->objectName()));
        ++checked;
    }
    QVERIFY(checked >= (tab == 0 ? 10 : 6));
}

void TestSetupDialog::styleSheets()
{
    SetupDialog dialog(QString(), QString(), QString(), false);
    QCOMPARE(dialog.styleSheet(),
             QStringLiteral("QDialog { background: url(:/setup-bg.png) repeat-x }\n"
                            "QLabel#title { color: #C3C7D0;font-size:20px }\n"
                            "QLabel { color: #fff }\n"));
    QCOMPARE(dialog.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->styleSheet(),
             QStringLiteral("QLabel {font-size:13px; color:grey; font-weight:bold;}\n"));

    // The nearer sheet wins inside the tabs; the user cannot resize the window.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *loginLabel = dialog.findChild<QLabel *>(QStringLiteral("loginLabel"));
    auto *title = dialog.findChild<QLabel *>(QStringLiteral("title"));
    QCOMPARE(loginLabel->palette().color(QPalette::WindowText), QColor(QStringLiteral("grey")));
    QVERIFY(loginLabel->font().bold());
    QCOMPARE(title->font().pixelSize(), 20);
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
}

QTEST_MAIN(TestSetupDialog)
#include "tst_setupdialog.moc"
