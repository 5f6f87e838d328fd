// Shows both dialogs on a real X server, as a person sees them, and keeps each picture in
// <build>/screenshots/ for a look. What can be told from pixels is checked too: the picture
// behind the dialog, the coloured button faces and the pictures that the labels show.

#include "calldialog.h"
#include "calldialoglock.h"
#include "callwidgets.h"
#include "edition.h"
#include "setupdialog.h"
#include "testprovider.h"
#include "testsettings.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

QString screenshotDir()
{
    const QString build = qEnvironmentVariable("TINTELLE_BINARY_DIR", QDir::currentPath());
    return build + QStringLiteral("/screenshots");
}

// What the screen shows over `area` (message boxes on top included), saved as <name>.png.
QImage shoot(const QRect &area, const QString &name)
{
    QTest::qWait(150); // let the server finish drawing
    const QImage image = QGuiApplication::primaryScreen()
                             ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    QDir().mkpath(screenshotDir());
    image.save(screenshotDir() + QLatin1Char('/') + name + QStringLiteral(".png"));
    return image;
}

// The part of `image` under `widget`, `origin` being the image's top left on screen.
QRect under(const QWidget *widget, const QPoint &origin)
{
    return QRect(widget->mapToGlobal(QPoint(0, 0)) - origin, widget->size());
}

QColor meanColour(const QImage &image, const QRect &r)
{
    qint64 red = 0, green = 0, blue = 0, n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            red += qRed(p);
            green += qGreen(p);
            blue += qBlue(p);
            ++n;
        }
    return n ? QColor(int(red / n), int(green / n), int(blue / n)) : QColor();
}

// `inset` trims the edges, where the button pictures round off.
QColor meanColour(const QImage &image, const QPoint &origin, const QWidget *widget, int inset = 0)
{
    return meanColour(image, under(widget, origin).adjusted(inset, inset, -inset, -inset));
}

// Pixels of the part under `widget` that stand out from the window's background, taken from the
// left edge of the same row (both windows have a plain margin there): much lighter or darker
// ones, or strongly coloured ones.
int standingOut(const QImage &image, const QPoint &origin, const QWidget *widget)
{
    const QRect r = under(widget, origin);
    int count = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const int background = QColor(image.pixel(1, y)).lightness();
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c(image.pixel(x, y));
            if (qAbs(c.lightness() - background) > 60 || c.hslSaturation() > 120)
                ++count;
        }
    }
    return count;
}

bool greenish(const QColor &c)
{
    return c.green() > c.red() + 20 && c.green() > c.blue();
}

bool reddish(const QColor &c)
{
    return c.red() > c.green() + 20 && c.red() > c.blue() + 20;
}

} // namespace

class TestDialogScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void callDialogPages_data();
    void callDialogPages();
    void errorBox();
    void setupDialog_data();
    void setupDialog();

private:
    TestProvider provider;
};

void TestDialogScreenshots::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs a real X server (run through with-xsession.sh)");
    QCoreApplication::setOrganizationName(QStringLiteral("Tintelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Tintelle"));
    QApplication::setWindowIcon(QIcon(Edition::iconPath()));
}

void TestDialogScreenshots::cleanup()
{
    Edition::setPlain(true);
}

void TestDialogScreenshots::callDialogPages_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("dial");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("call");

    QTest::addRow("number page") << "call-number"
                                 << "0033612345678"
                                 << "0612345678"
                                 << "" << false;
    QTest::addRow("edit page") << "call-edit"
                               << ""
                               << ""
                               << "06 12 34 56 78" << false;
    QTest::addRow("calling page") << "call-calling"
                                  << "0033612345678"
                                  << "0612345678"
                                  << "" << true;
}

void TestDialogScreenshots::callDialogPages()
{
    QFETCH(QString, name);
    QFETCH(QString, dial);
    QFETCH(QString, display);
    QFETCH(QString, typed);
    QFETCH(bool, call);

    if (call) {
        // Slow enough to be seen "Appel en cours...".
        TestProvider::Options slow;
        slow.delayMs = 5000;
        QVERIFY2(provider.start(slow), qPrintable(provider.errorString()));
        storeAccount(provider.url());
    }

    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(dial, display);
    auto *btncall = dialog.findChild<QPushButton *>(QStringLiteral("btncall"));
    auto *btncancel = dialog.findChild<QPushButton *>(QStringLiteral("btncancel"));
    auto *numberEdit = dialog.findChild<QLineEdit *>(QStringLiteral("numberEdit"));
    auto *iconphone = dialog.findChild<QLabel *>(QStringLiteral("iconphone"));
    auto *btnedit = dialog.findChild<QPushButton *>(QStringLiteral("btnedit"));
    QVERIFY(btncall && btncancel && numberEdit && iconphone && btnedit);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    if (!typed.isEmpty()) {
        QTest::mouseClick(numberEdit, Qt::LeftButton);
        QTest::keyClicks(numberEdit, typed);
    }
    if (call) {
        QTest::mousePress(btncall, Qt::LeftButton);
        QTest::mouseRelease(btncall, Qt::LeftButton);
        QVERIFY(provider.waitForRequests(1));
    }

    const QRect area = dialog.frameGeometry();
    const QImage shot = shoot(area, name);
    QCOMPARE(shot.size(), QSize(610, 131));

    // The dark gradient behind, a white telephone on it, the coloured buttons.
    QVERIFY(meanColour(shot, area.topLeft(), &dialog).lightness() < 110);
    QVERIFY(standingOut(shot, area.topLeft(), iconphone) > 200);
    QVERIFY2(reddish(meanColour(shot, area.topLeft(), btncancel, 4)),
             qPrintable(meanColour(shot, area.topLeft(), btncancel, 4).name()));
    if (btncall->isVisible())
        QVERIFY2(greenish(meanColour(shot, area.topLeft(), btncall, 4)),
                 qPrintable(meanColour(shot, area.topLeft(), btncall, 4).name()));
    if (btnedit->isVisible())
        QVERIFY(standingOut(shot, area.topLeft(), btnedit) > 20);
}

void TestDialogScreenshots::errorBox()
{
    QVERIFY2(provider.start(), qPrintable(provider.errorString()));
    storeAccount(provider.url(), QStringLiteral("wrong"));

    QVERIFY(callDialogLock().tryLock());
    CallDialog dialog(QStringLiteral("0033612345678"), QStringLiteral("0612345678"));
    auto *btncall = dialog.findChild<QPushButton *>(QStringLiteral("btncall"));
    QVERIFY(btncall);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QString title;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || !title.isEmpty())
            return;
        if (!QTest::qWaitForWindowExposed(box))
            return;
        title = box->windowTitle();
        shoot(dialog.frameGeometry().united(box->frameGeometry()), QStringLiteral("call-error"));
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(20);
    QTest::mousePress(btncall, Qt::LeftButton);
    QTest::mouseRelease(btncall, Qt::LeftButton);
    QTRY_COMPARE(title, QStringLiteral("Erreur lors de l'appel"));
    auto *stack = dialog.findChild<QStackedWidget *>(QStringLiteral("numberStack"));
    QTRY_COMPARE(stack->currentIndex(), 1);
    shoot(dialog.frameGeometry(), QStringLiteral("call-after-error"));
}

void TestDialogScreenshots::setupDialog_data()
{
    QTest::addColumn<bool>("plain");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("name");

    QTest::addRow("plain") << true << 0 << "setup-plain";
    QTest::addRow("branded") << false << 0 << "setup-branded";
    QTest::addRow("plain, advanced options") << true << 1 << "setup-plain-options";
}

void TestDialogScreenshots::setupDialog()
{
    QFETCH(bool, plain);
    QFETCH(int, tab);
    QFETCH(QString, name);

    Edition::setPlain(plain);
    SetupDialog dialog(QStringLiteral("alice"), QStringLiteral("secret"),
                       QStringLiteral("01 40 00 00 00"), true);
    auto *tabs = dialog.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    auto *logo = dialog.findChild<QLabel *>(QStringLiteral("labelLogo"));
    QVERIFY(tabs && logo);
    tabs->setCurrentIndex(tab);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // The inside of the window: no window manager draws a frame here anyway.
    const QRect area(dialog.mapToGlobal(QPoint(0, 0)), dialog.size());
    const QImage shot = shoot(area, name);
    auto *left = dialog.findChild<QWidget *>(QStringLiteral("left"));
    QVERIFY(left);
    // Above the logo.
    const QRect column = under(left, area.topLeft());
    QVERIFY(meanColour(shot, column.adjusted(0, 0, 0, -column.height() / 2)).lightness() < 110);
    QVERIFY(standingOut(shot, area.topLeft(), logo) > 300);
}

QTEST_MAIN(TestDialogScreenshots)
#include "tst_dialogscreenshots.moc"
