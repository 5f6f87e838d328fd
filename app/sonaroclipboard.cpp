#include "sonaroclipboard.h"

#include "calldialog.h"
#include "dialogclaim.h"
#include "settingskeys.h"
#include "ws.h"

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
        // Refused, silently, while a call dialog is open, also the other edition's.
        if (!text.isEmpty()) {
            const DialogClaim claim;
            if (claim.isHeld())
                CallDialog::open(dial, text, CallDialog::Opening::ByCopy);
        }
    }
    lastText = text;
}
