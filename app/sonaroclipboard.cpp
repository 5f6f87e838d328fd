#include "sonaroclipboard.h"

#include "dialogs/calldialog.h"
#include "service/settingskeys.h"
#include "service/ws.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>

SonaroClipboard::SonaroClipboard(QObject *parent) : QObject(parent), lastText(QStringLiteral("")) {}

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
    const bool copyTwice = settings.value(SettingsKey::copyTwice, QVariant()).toBool();

    if (!copyTwice || lastText == text) {
        text = WS::extractNumber(text, dial);
        // Refused, silently, while a call dialog is open.
        if (!text.isEmpty())
            CallDialog::open(dial, text, CallDialog::Opening::ByCopy);
    }
    lastText = text;
}
