#pragma once

#include "testprovider.h"
#include "testsettings.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QString>

// The call dialog's widgets a person deals with, found by object name.
struct CallWidgets
{
    explicit CallWidgets(QWidget &dialog)
        : stack(dialog.findChild<QStackedWidget *>(QStringLiteral("numberStack"))),
          number(dialog.findChild<QLabel *>(QStringLiteral("number"))),
          numberEdit(dialog.findChild<QLineEdit *>(QStringLiteral("numberEdit"))),
          btncall(dialog.findChild<QPushButton *>(QStringLiteral("btncall"))),
          btncancel(dialog.findChild<QPushButton *>(QStringLiteral("btncancel"))),
          btnedit(dialog.findChild<QPushButton *>(QStringLiteral("btnedit")))
    {
    }
    bool complete() const
    {
        return stack && number && numberEdit && btncall && btncancel && btnedit;
    }

    QStackedWidget *stack;
    QLabel *number;
    QLineEdit *numberEdit;
    QPushButton *btncall;
    QPushButton *btncancel;
    QPushButton *btnedit;
};

// A fresh profile holding the simulator's account ("alice"/"secret" unless told otherwise), aimed
// at the given endpoint.
inline void storeAccount(const QString &endpoint,
                         const QString &password = QStringLiteral("secret"))
{
    resetSettings({{QStringLiteral("login"), QStringLiteral("alice")},
                   {QStringLiteral("password"), password},
                   {QStringLiteral("number"), QStringLiteral("0140000000")},
                   {QStringLiteral("endpoint"), endpoint},
                   {QStringLiteral("endpointca"), TestProvider::caPath()}});
}
