#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <memory>

class SelectionReader;

// Watches the system clipboard and opens the call dialog for a copied number. With the
// copy-twice option on, the same text must be copied twice in a row.
class SonaroClipboard : public QObject
{
    Q_OBJECT

public:
    // Build it only after the edition has been selected, since its settings are named after it.
    explicit SonaroClipboard(QObject *parent = nullptr);
    ~SonaroClipboard() override;

    // Nothing copied before this call is looked at. Always returns true.
    bool startWatching();

public slots:
    void checkClipboard();

private:
    // The clipboard's text now, or false when it comes later, through checkClipboard() again.
    bool readText(QString &text);

    // After a change: the raw text when copy-twice held it back, otherwise the recognised number
    // (or empty). So a number copied with separators needs two more copies to open again.
    QString lastText;
    QSettings settings;
    // On X11 the clipboard is read without waiting on its owner; elsewhere through Qt.
    std::unique_ptr<SelectionReader> reader;
};
