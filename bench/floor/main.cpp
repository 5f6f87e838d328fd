// The toolkit's floor for the program benchmarks: the least a Qt 6 tray program that opens a
// dialog on a clipboard change can do. Figures of the real program are read against it.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkGreen);
    QSystemTrayIcon trayIcon;
    QMenu menu;
    QAction quitAction(QStringLiteral("Quitter"));
    QObject::connect(&quitAction, &QAction::triggered, &app, &QCoreApplication::quit);
    menu.addAction(&quitAction);
    trayIcon.setContextMenu(&menu);
    trayIcon.setIcon(QIcon(pixmap));
    trayIcon.setVisible(true);

    bool dialogOpen = false;
    QObject::connect(QApplication::clipboard(), &QClipboard::dataChanged, [&dialogOpen] {
        if (dialogOpen || QApplication::clipboard()->text(QClipboard::Clipboard).isEmpty())
            return;
        dialogOpen = true;
        QDialog dialog(nullptr, Qt::FramelessWindowHint);
        dialog.setWindowTitle(QStringLiteral("Floor dialog"));
        dialog.resize(610, 131);
        dialog.exec();
        dialogOpen = false;
    });
    return app.exec();
}
