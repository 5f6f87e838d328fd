#include "app/callopener.h"
#include "app/clipboardreader.h"
#include "app/privateplace.h"
#include "app/sonaro.h"
#include "dialogs/setupdialog.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/testsettings.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

class TestCallOpener : public QObject
{
    Q_OBJECT

public:
    enum class Keyboard { Elsewhere, Configuration, Dialog };
    enum class Dialog { None, Opened, Raised, Left };
    Q_ENUM(Keyboard)
    Q_ENUM(Dialog)

    int raised = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        raised += event->type() == QEvent::ZOrderChange;
        return false;
    }

private slots:
    void initTestCase() { resetSettings({{"endpoint", "https://127.0.0.1:1/"}}); }

    void open_data()
    {
        QTest::addColumn<CallOpener::Route>("route");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("open"); // copied before, its dialog still open; none: ""
        QTest::addColumn<Keyboard>("keyboard");
        QTest::addColumn<bool>("claimBroken"); // an empty lock file, as a full disk leaves it
        QTest::addColumn<Dialog>("dialog");
        QTest::addColumn<QString>("page");  // of the dialog shown then
        QTest::addColumn<QString>("shows"); // its number, on the page or in the field
        QTest::addColumn<bool>("taken");    // the dialog has the keyboard
        QTest::addColumn<QString>("notice");
        using R = CallOpener::Route;
        const QString old = "01 44 55 66 77", was = "0144556677", none;
        const QString number = "numberLayout", edit = "editLayout";
        const QString noNumber = "Le lien ne contient aucun numéro reconnu : aucune fenêtre "
                                 "d'appel n'est ouverte. Pour appeler, double-cliquez sur "
                                 "l'icône et tapez le numéro.";
        const QString ignored = "Numéro 0033711223344 ignoré : une fenêtre d'appel est déjà "
                                "ouverte. Fermez-la, puis copiez le numéro à nouveau.";
        const auto E = Keyboard::Elsewhere, C = Keyboard::Configuration, D = Keyboard::Dialog;
        const auto add = [](const char *tag, R route, const QString &text, const QString &open,
                            Keyboard keyboard, Dialog dialog, const QString &page,
                            const QString &shows, bool taken, const QString &notice = {}) {
            QTest::addRow("%s", tag) << route << text << open << keyboard << false << dialog << page
                                     << shows << taken << notice;
        };
        add("copy", R::Copy, "Tél. 06 12 34 56 78", none, E, Dialog::Opened, number, "0612345678",
            false);
        add("copy, no number", R::Copy, "le 1er", none, E, Dialog::None, none, none, false);
        add("copy beside Configuration", R::Copy, old, none, C, Dialog::Opened, number, was, false);
        add("copy, another open", R::Copy, "+33 7 11 22 33 44", old, E, Dialog::Left, number, was,
            false, ignored);
        add("link, one shown form", R::Link, "+33612345678", none, E, Dialog::Opened, number,
            "0033612345678", false);
        add("link, no number", R::Link, "112", none, E, Dialog::None, none, none, false, noNumber);
        add("link, no number, one open", R::Link, "abc", old, E, Dialog::Left, number, was, false,
            noNumber);
        add("link, another open", R::Link, "+33711223344", old, D, Dialog::Left, number, was, true,
            ignored);
        add("tray", R::Tray, none, none, E, Dialog::Opened, edit, none, true);
        add("tray, one open", R::Tray, none, old, E, Dialog::Raised, edit, was, true);
        add("start, one open", R::Start, none, old, C, Dialog::Raised, edit, was, true);
        QTest::addRow("claim broken: said, opens")
            << R::Copy << old << none << E << true << Dialog::Opened << number << was << false
            << "Impossible de créer le verrou %1 (disque plein ou dossier en lecture seule). "
               "Libérez de la place ou rendez le dossier inscriptible, puis supprimez ce fichier "
               "s'il existe.";
    }

    void open()
    {
        QFETCH(CallOpener::Route, route);
        QFETCH(QString, text);
        QFETCH(QString, open);
        QFETCH(Keyboard, keyboard);
        QFETCH(bool, claimBroken);
        const QString lock = PrivatePlace::folder() + "/dialog.lock";
        QFile broken(lock);
        QVERIFY(!claimBroken || broken.open(QIODevice::WriteOnly));
        auto cleanup = qScopeGuard([&] { QFile::remove(lock); });
        CallOpener opener(PrivatePlace::folder());
        QSignalSpy notices(&opener, &CallOpener::notice);
        // The window in use, and Configuration, centred, where a call dialog would come.
        QWidget mail;
        SetupDialog setup("l", "p", "01", false);
        const QRect screen = QApplication::primaryScreen()->availableGeometry();
        for (QWidget *window : {&mail, static_cast<QWidget *>(&setup)}) {
            window->resize(400, 300);
            window->move(screen.center() - window->rect().center());
        }
        QWidget *const keysTo = keyboard == Keyboard::Configuration ? &setup : &mail;
        const auto giveKeyboard = [&](QWidget *to) {
            to->show();
            to->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(to));
        };
        Dialog dialog = Dialog::None;
        QString page, shows;
        bool tookKeyboard = false;
        const auto look = [&](QDialog *shown, Dialog what) {
            dialog = what;
            // On an X server with no window manager, only the program gives the keyboard.
            QVERIFY(QTest::qWaitForWindowExposed(shown));
            QFETCH(bool, taken);
            if (taken)
                (void)QTest::qWaitForWindowActive(shown);
            QCoreApplication::processEvents();
            page = shown->findChild<QStackedWidget *>("numberStack")->currentWidget()->objectName();
            tookKeyboard = QApplication::activeWindow() == shown;
            QVERIFY(tookKeyboard || QApplication::activeWindow()); // still where it was
            auto *field = shown->findChild<QLineEdit *>("numberEdit");
            shows =
                page == "editLayout" ? field->text() : shown->findChild<QLabel *>("number")->text();
            QVERIFY(!tookKeyboard || page != "editLayout" ||
                    field->selectedText() == field->text());
            // Unless the user asked for it, or it stays behind, it keeps off Configuration.
            QVERIFY(tookKeyboard || what == Dialog::Left || !setup.isVisible() ||
                    !shown->geometry().intersects(setup.frameGeometry()));
        };
        DialogDriver user("CallDialog", [&](QDialog *shown) {
            if (open.isEmpty() || user.seen.size() > 1)
                return look(shown, Dialog::Opened);
            if (keyboard == Keyboard::Dialog)
                giveKeyboard(shown);
            if (keyboard == Keyboard::Configuration) // which then came over it
                shown->move(setup.pos());
            raised = 0;
            shown->installEventFilter(this);
            opener.open(route, text);
            if (user.seen.size() == 1)
                look(shown, raised ? Dialog::Raised : Dialog::Left);
        });
        giveKeyboard(keysTo);
        opener.open(open.isEmpty() ? route : CallOpener::Route::Copy, open.isEmpty() ? text : open);
        QTEST(dialog, "dialog");
        QTEST(page, "page");
        QTEST(shows, "shows");
        QTEST(tookKeyboard, "taken");
        QFETCH(QString, notice);
        QCOMPARE(notices.value(0).value(0).toString(), notice.replace("%1", lock));
        QVERIFY(notice.size() <= Sonaro::maxNoticeCharacters); // whole in a Windows balloon
    }

    // Against owners of every kind, another program on a real X server. The test asks when the
    // watcher would, once per change of owner, and nothing else asks: each row reads the same way
    // however busy the machine is.
    void reads_data()
    {
        QTest::addColumn<QStringList>("owner"); // the options of tests/e2e/silentowner.cpp
        QTest::addColumn<int>("ownerships");    // times it takes the clipboard before answering
        QTest::addColumn<QString>("text");
        const QString spaced = "Tel. 06 12 34 56 78";
        QTest::addRow("STRING only") << QStringList{"--string", spaced} << 1 << spaced;
        QTest::addRow("in pieces") << QStringList{"--incr", "600000"} << 1 << QString(600000, '6');
        QTest::addRow("in pieces, over 1 MiB") << QStringList{"--incr", "1048577"} << 1 << "";
        // Its first ownership is given up on after a while, then the same window takes the
        // clipboard again: a new ownership, asked again.
        QTest::addRow("hung, then owner again, same window")
            << QStringList{"--late", spaced} << 2 << spaced;
    }

    void reads()
    {
        QFETCH(QStringList, owner);
        QFETCH(int, ownerships);
        QFETCH(QString, text);
        bool ready = false;
        ClipboardReader reader([&] { ready = true; });
        QProcess process;
        process.start(TINTELLE_OWNER, owner);
        QString read;
        QByteArray said;
        for (int taken = 1; taken <= ownerships; ++taken) {
            QTRY_VERIFY_WITH_TIMEOUT((said += process.readAll()).count("owned\n") >= taken, 30000);
            QVERIFY(!reader.read(read)); // asked; the text comes later, if ever
        }
        QTRY_VERIFY_WITH_TIMEOUT(ready, 30000);
        QVERIFY(reader.read(read));
        QCOMPARE(read, text);
        process.kill();
        process.waitForFinished();
    }
};

QTEST_MAIN(TestCallOpener)
#include "tst_callopener.moc"
