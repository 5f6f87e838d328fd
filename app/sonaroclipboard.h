#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <QTimer>
#include <memory>

class ClipboardReader;

// Watches the system clipboard and reports each copy that holds a number. With the copy-twice
// option on, the same text must be copied twice in a row.
class SonaroClipboard : public QObject
{
    Q_OBJECT

public:
    // Build it only after the edition has been selected, since its settings are named after it.
    explicit SonaroClipboard(QObject *parent = nullptr);
    ~SonaroClipboard() override;

    // Nothing copied before this call is looked at. Always returns true.
    bool startWatching();

signals:
    // The copied text, in which a number is recognised. Connected directly, a dialog opened for it
    // runs within checkClipboard(), and the copies made meanwhile count after it.
    void numberCopied(const QString &text);

public slots:
    void checkClipboard();

private:
    // After a change: the raw text when copy-twice held it back, otherwise the recognised number
    // (or empty). So a number copied with separators needs two more copies to open again.
    QString lastText;
    QSettings settings;
    // Its text may come later, through checkClipboard() again.
    std::unique_ptr<ClipboardReader> reader;
    // Windows: the changes that come before the check runs are checked once.
    QTimer pendingCheck;
};
