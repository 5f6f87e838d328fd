#include "sonaroclipboard.h"

#include "calldialog.h"
#include "calldialoglock.h"
#include "ws.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>

SonaroClipboard::SonaroClipboard(QObject *parent)
    : QObject(parent), lastText(QStringLiteral("")),
      settings(QCoreApplication::organizationName(), QCoreApplication::applicationName())
{
}

SonaroClipboard::~SonaroClipboard() = default;

bool SonaroClipboard::startWatching()
{
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
            &SonaroClipboard::checkClipboard);
    return true;
}

void SonaroClipboard::checkClipboard()
{
    QString text = QApplication::clipboard()->text(QClipboard::Clipboard);
    QString dial;
    const bool copyTwice = settings.value(QStringLiteral("copytwice"), QVariant()).toBool();

    if (!copyTwice || lastText == text) {
        text = WS::extractNumber(text, dial);
        // Never waits: a held lock means a call dialog is open, possibly further up this stack.
        if (!text.isEmpty() && callDialogLock().tryLock()) {
            CallDialog dialog(dial, text, nullptr);
            dialog.exec();
        }
    }
    lastText = text;
}
