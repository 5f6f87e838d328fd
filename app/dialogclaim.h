#pragma once

#include <QLockFile>
#include <QString>

// At most one call dialog per user, whichever edition opens it and however: both editions watch
// the same clipboard and answer links. The claim is a lock file in the user's private place
// (PrivatePlace, worked out once at start: `folder`), tried without waiting as it is made and held
// as long as this object lives; one left by a holder that crashed is taken over.
class DialogClaim
{
public:
    explicit DialogClaim(const QString &folder);
    Q_DISABLE_COPY_MOVE(DialogClaim)

    // False while another holds it: open nothing. True also where the claim cannot be had (no
    // private place, or a lock file that cannot be made or read), since a claim that fails must
    // not stop the dialog.
    bool isHeld() const;
    // Why the claim could not be had although a private place exists, for the user, with what to
    // do; empty otherwise.
    QString failure() const;
    // Hands `request` (a number's text, or empty for the user's own request) to the other edition
    // when it holds the claim, as a later start would. False when no other edition took it.
    bool forward(const QString &request);

private:
    const QString folder;
    QLockFile file;
    bool held = true;
    QString failed;
};
