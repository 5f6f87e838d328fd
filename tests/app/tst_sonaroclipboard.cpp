#include "calldialoglock.h"
#include "dialogspy.h"
#include "edition.h"
#include "sonaroclipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QImage>
#include <QMimeData>
#include <QSettings>
#include <QTest>

namespace {

// A clipboard change: plain text, or an image when the entry is "<image>".
void copy(const QString &entry)
{
    if (entry == QLatin1String("<image>")) {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QApplication::clipboard()->setImage(image);
    } else {
        QApplication::clipboard()->setText(entry);
    }
}

} // namespace

class TestSonaroClipboard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void copySequence_data();
    void copySequence();
    void optionTakesEffectAtNextChange();
    void nothingWatchedBeforeStart();
    void lockedWhileDialogOpenElsewhere();
    void nestedChangesOpenNoSecondDialog();
};

void TestSonaroClipboard::initTestCase()
{
    Edition::selectForExecutable(QStringLiteral("/usr/bin/tintelle"));
}

void TestSonaroClipboard::init()
{
    QSettings settings;
    settings.clear();
    QApplication::clipboard()->clear();
}

void TestSonaroClipboard::copySequence_data()
{
    QTest::addColumn<bool>("copyTwice");
    QTest::addColumn<QStringList>("copies");
    QTest::addColumn<QStringList>("opened");

    const QString spaced = QStringLiteral("06 12 34 56 78");
    const QString bare = QStringLiteral("0612345678");

    QTest::addRow("off: spaced national opens at once, bare digits shown")
        << false << QStringList{spaced} << QStringList{bare};
    QTest::addRow("off: every copy opens")
        << false << QStringList{spaced, spaced, spaced} << QStringList{bare, bare, bare};
    QTest::addRow("off: text without a number opens nothing")
        << false << QStringList{QStringLiteral("bonjour"), QStringLiteral("<image>")}
        << QStringList{};
    QTest::addRow("off: first number in a sentence wins")
        << false << QStringList{QStringLiteral("Tél. : 01 23 45 67 89")}
        << QStringList{QStringLiteral("0123456789")};
    QTest::addRow("on: first copy opens nothing") << true << QStringList{spaced} << QStringList{};
    QTest::addRow("on: second identical copy opens")
        << true << QStringList{spaced, spaced} << QStringList{bare};
    QTest::addRow("on: another text in between restarts the count")
        << true << QStringList{spaced, QStringLiteral("autre"), spaced} << QStringList{};
    QTest::addRow("on: another text in between, then twice")
        << true << QStringList{spaced, QStringLiteral("autre"), spaced, spaced}
        << QStringList{bare};
    // After a dialog the remembered text is the recognised number, not the raw copy.
    QTest::addRow("on: spaced number needs two more copies after a dialog")
        << true << QStringList{spaced, spaced, spaced, spaced} << QStringList{bare, bare};
    QTest::addRow("on: bare number opens on every further copy")
        << true << QStringList{bare, bare, bare, bare} << QStringList{bare, bare, bare};
    QTest::addRow("on: an image replaces the remembered text")
        << true << QStringList{spaced, QStringLiteral("<image>"), spaced} << QStringList{};
    QTest::addRow("on: second copy without a number empties the memory")
        << true << QStringList{QStringLiteral("rien"), QStringLiteral("rien"), bare, bare}
        << QStringList{bare};
}

void TestSonaroClipboard::copySequence()
{
    QFETCH(bool, copyTwice);
    QFETCH(QStringList, copies);
    QFETCH(QStringList, opened);

    QSettings().setValue(QStringLiteral("copytwice"), copyTwice);
    SonaroClipboard watcher;
    watcher.startWatching();
    DialogSpy spy("CallDialog");
    for (const QString &entry : copies)
        copy(entry);
    QCOMPARE(spy.shown, opened);
    QVERIFY(callDialogLock().tryLock());
    callDialogLock().unlock();
}

void TestSonaroClipboard::optionTakesEffectAtNextChange()
{
    SonaroClipboard watcher;
    watcher.startWatching();
    DialogSpy spy("CallDialog");

    copy(QStringLiteral("0612345678"));
    QCOMPARE(spy.shown.size(), 1);

    // Another owner of the same scope turns the option on: the watcher reads it at each change.
    QSettings().setValue(QStringLiteral("copytwice"), true);
    copy(QStringLiteral("0711223344"));
    QCOMPARE(spy.shown.size(), 1);
    copy(QStringLiteral("0711223344"));
    QCOMPARE(spy.shown.size(), 2);

    QSettings().setValue(QStringLiteral("copytwice"), false);
    copy(QStringLiteral("0100000000"));
    QCOMPARE(spy.shown.size(), 3);
}

void TestSonaroClipboard::nothingWatchedBeforeStart()
{
    SonaroClipboard watcher;
    DialogSpy spy("CallDialog");
    copy(QStringLiteral("0612345678"));
    QVERIFY(spy.shown.isEmpty());
    watcher.startWatching();
    copy(QStringLiteral("0612345678 "));
    QCOMPARE(spy.shown, QStringList{QStringLiteral("0612345678")});
}

void TestSonaroClipboard::lockedWhileDialogOpenElsewhere()
{
    SonaroClipboard watcher;
    watcher.startWatching();
    DialogSpy spy("CallDialog");

    // Someone else (the tray) holds the call dialog open.
    QVERIFY(callDialogLock().tryLock());
    copy(QStringLiteral("0612345678"));
    QVERIFY(spy.shown.isEmpty());
    callDialogLock().unlock();

    copy(QStringLiteral("0612345679"));
    QCOMPARE(spy.shown.size(), 1);
}

void TestSonaroClipboard::nestedChangesOpenNoSecondDialog()
{
    QSettings().setValue(QStringLiteral("copytwice"), true);
    SonaroClipboard watcher;
    watcher.startWatching();
    DialogSpy spy("CallDialog");

    int nested = 0;
    spy.whileOpen = [&nested](QDialog *) {
        // A burst of copies from inside the open dialog's modal loop.
        if (nested++ > 0)
            return;
        for (int i = 0; i < 50; ++i)
            copy(QStringLiteral("0699999999"));
    };
    copy(QStringLiteral("0612345678"));
    copy(QStringLiteral("0612345678"));
    QCOMPARE(spy.shown.size(), 1);
    QCOMPARE(spy.mostOpenAtOnce, 1);

    // The outer run wrote its own number last, so the same bare number opens again at once.
    copy(QStringLiteral("0612345678"));
    QCOMPARE(spy.shown.size(), 2);
}

QTEST_MAIN(TestSonaroClipboard)
#include "tst_sonaroclipboard.moc"
