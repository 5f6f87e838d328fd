#include "app/sonaro.h"
#include "tests/support/testsettings.h"
#include "tests/support/uitest.h"

#include <QRandomGenerator>

class TestSonaro : public QObject
{
    Q_OBJECT
    inline static QStringList said; // what the program wrote to its log
    inline static QtMessageHandler testlib;
    static void log(QtMsgType type, const QMessageLogContext &at, const QString &text)
    {
        said << text;
        testlib(type, at, text);
    }

private slots:
    void initTestCase()
    {
        Sonaro::setSystemTrayWait({});
        testlib = qInstallMessageHandler(log);
    }

    void start_data()
    {
        // Stored first, and a "file" or "folder" in the way of the settings file or folder, or a
        // settings file of random "bytes" or an "empty" one, as found on disk. With
        // nothing stored the user fills and validates the setup dialog, else closes it. Then what
        // shows (the setup dialog's fields and box as it opens; boxes), and the login at the end.
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QString>("blocked");
        QTest::addColumn<QStringList>("seen");
        QTest::addColumn<QString>("login");
        const QVariantMap partial{{"password", "s"}, {"number", "01"}, {"copytwice", true}};
        const QString none, notRead = "Tintelle: Impossible de lire la configuration : %1";
        const QString notWritten = "Tintelle: Impossible d'enregistrer la configuration : %1";
        using L = QStringList;
        QTest::addRow("setup closed") << partial << none << L{"", "s", "01", "true"} << none;
        QTest::addRow("validated, not written: held")
            << QVariantMap() << QString("folder") << L{"", "", "", "false", notWritten}
            << QString("login");
        QTest::addRow("login stored") << QVariantMap{{"login", "a"}} << none << L{} << QString("a");
        QTest::addRow("empty login stored")
            << QVariantMap{{"login", ""}} << none << L{} << QString("");
        QTest::addRow("unreadable") << QVariantMap() << QString("file") << L{notRead} << none;
        QTest::addRow("random bytes") << QVariantMap() << QString("bytes") << L{notRead} << none;
        QTest::addRow("empty file: a first run")
            << QVariantMap() << QString("empty") << L{"", "", "", "false"} << QString("login");
    }

    void start()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QString, blocked);
        QFETCH(QStringList, seen);
        QFETCH(QString, login);
        // A settings scope, and so a folder, of the case's own.
        QCoreApplication::setOrganizationName(QTest::currentDataTag());
        QCoreApplication::setApplicationName("Tintelle");
        resetSettings(stored);
        const QString file = QSettings().fileName(), folder = QFileInfo(file).path();
        QVERIFY(!stored.isEmpty() || QDir(folder).removeRecursively());
        // Something in the way stops root as well as anyone.
        QVERIFY(blocked != "file" || QDir().mkpath(file));
        QVERIFY(blocked != "folder" || QFile(folder).open(QIODevice::WriteOnly));
        if (blocked == "bytes" || blocked == "empty") {
            QList<quint32> noise(blocked == "bytes" ? 1024 : 0);
            QRandomGenerator(1).fillRange(noise.data(), noise.size());
            QFile in(file);
            QVERIFY(QDir().mkpath(folder) && in.open(QIODevice::WriteOnly));
            in.write(reinterpret_cast<const char *>(noise.constData()), noise.size() * 4);
            in.close();
        }
        QStringList shown;
        DialogDriver user("SetupDialog", [&](QDialog *dialog) {
            for (const char *name : {"login", "password", "number"}) {
                shown << dialog->findChild<QLineEdit *>(name)->text();
                QTest::keyClicks(dialog->findChild<QLineEdit *>(name), name);
            }
            shown << QVariant(dialog->findChild<QCheckBox *>()->isChecked()).toString();
            if (stored.isEmpty())
                QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        });
        DialogDriver boxes("QMessageBox");
        said.clear();
        Sonaro sonaro; // lives on, as for the whole session
        sonaro.start();
        // With a login it goes on to the tray, which offscreen has not; otherwise it stops there.
        QCOMPARE(said.contains("No systray available. Exiting."), !login.isNull());
        QCOMPARE(shown + boxes.seen, seen.replaceInStrings("%1", file));
        // Stored, or when that failed, still held for this session.
        QCOMPARE(QSettings().contains("login") ? QSettings().value("login").toString() : QString(),
                 login);
    }
};

QTEST_MAIN(TestSonaro)
#include "tst_sonaro.moc"
