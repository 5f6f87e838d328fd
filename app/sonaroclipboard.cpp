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
#ifdef Q_OS_WIN
    // Each change is a message of its own, and Qt delivers its timers and posted events (the
    // guard's pipe, the reader's end) only once no message waits: checked at each, a flood of
    // changes (10 000 in 3 s) left no time for anything else, and starts were refused as not
    // answered. Merged here as the reader merges the changes made while it reads.
    pendingCheck.setSingleShot(true);
    pendingCheck.setInterval(0);
    connect(&pendingCheck, &QTimer::timeout, this, &SonaroClipboard::checkClipboard);
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        if (!pendingCheck.isActive())
            pendingCheck.start();
    });
#else
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
            &SonaroClipboard::checkClipboard);
#endif
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
