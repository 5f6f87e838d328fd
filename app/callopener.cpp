#include "callopener.h"

#include "app/dialogclaim.h"
#include "dialogs/calldialog.h"
#include "dialogs/setupdialog.h"
#include "service/ws.h"

#include <QApplication>

namespace {

// Configuration's frame while it shows: a dialog opened beside it must not hide its fields. Its
// window at least: on X11, Qt may read the frame while the window manager is still building it,
// smaller than the window, and keep that reading until the window next moves.
QRect configurationArea()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<SetupDialog *>(widget) && widget->isVisible())
            return widget->frameGeometry().united(widget->geometry());
    }
    return {};
}

} // namespace

CallOpener::CallOpener(const QString &place, QObject *parent) : QObject(parent), place(place) {}

void CallOpener::open(Route route, const QString &text)
{
    const bool byUser = route == Route::Tray || route == Route::Start;
    QString shown = text, dial;
    if (!byUser && WS::extractNumber(shown, dial).isEmpty()) {
        // A copy without a number is every other copy: silent. A link was meant to call.
        if (route == Route::Link)
            emit notice(tr("Le lien ne contient aucun numéro reconnu : aucune fenêtre d'appel "
                           "n'est ouverte. Pour appeler, double-cliquez sur l'icône et tapez le "
                           "numéro."));
        return;
    }
    DialogClaim claim(place);
    if (!claim.failure().isEmpty())
        emit notice(claim.failure());
    if (CallDialog *open = CallDialog::current()) {
        if (byUser)
            open->takeKeyboardForTyping();
        else // it stays where it is: no number comes forward under a copy the user just made
            emit notice(tr("Numéro %1 ignoré : une fenêtre d'appel est déjà ouverte. Fermez-la, "
                           "puis copiez le numéro à nouveau.")
                            .arg(shown));
        return;
    }
    if (!claim.isHeld()) {
        // The other edition's dialog is open: it answers as for a request of its own.
        claim.forward(byUser ? QString() : shown);
        return;
    }
    using Opening = CallDialog::Opening;
    CallDialog::open(dial, shown, byUser ? Opening::ByUser : Opening::ByCopy,
                     byUser ? QRect() : configurationArea());
}

void CallOpener::openRequest(const QString &request)
{
    if (request.isEmpty())
        open(Route::Start);
    else
        open(Route::Link, request);
}

QString CallOpener::linkRequest(const QString &text)
{
    // Its scheme alone: a text in which nothing is recognised.
    return text.isEmpty() ? QStringLiteral("tel:") : text;
}
