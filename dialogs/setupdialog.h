#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class SetupDialog;
}

// The configuration dialog. It stores nothing itself: a complete form is reported through
// setupSuccess() and the dialog closes.
class SetupDialog : public QDialog
{
    Q_OBJECT

public:
    SetupDialog(const QString &login, const QString &password, const QString &number,
                const bool &copyTwice, QWidget *parent = nullptr);
    ~SetupDialog() override;

signals:
    // Emitted at most once, only with three non-empty texts, exactly as typed.
    void setupSuccess(QString login, QString password, QString number, bool copyTwice);

private slots:
    // False, and nothing shown, when a field is empty.
    bool on_validateButton_clicked();

private:
    std::unique_ptr<Ui::SetupDialog> ui;
};
