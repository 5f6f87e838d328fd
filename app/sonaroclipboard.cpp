#include "sonaroclipboard.h"

#include "app/clipboardreader.h"
#include "app/copyhandler.h"
#include "service/settingskeys.h"
#include "service/ws.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>

SonaroClipboard::SonaroClipboard(QObject *parent) : QObject(parent), lastText(QStringLiteral("")) {}

SonaroClipboard::~SonaroClipboard() = default;

bool SonaroClipboard::startWatching()
{
    reader = std::make_unique<ClipboardReader>([this] { checkClipboard(); });
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
            &SonaroClipboard::checkClipboard);
    return true;
}

void SonaroClipboard::checkClipboard()
{
    if (!CopyHandler::takesCopies()) // the other edition answers copies
        return;
    QString text;
    if (!reader || !reader->read(text))
        return; // back here once the owner has answered
    QString dial;
    const bool copyTwice = settings.value(SettingsKey::copyTwice, QVariant()).toBool();

    if (!copyTwice || lastText == text) {
        const QString copied = text;
        if (!WS::extractNumber(text, dial).isEmpty())
            emit numberCopied(copied);
    }
    lastText = text;
}
