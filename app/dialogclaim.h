#pragma once

#include <QLockFile>
#include <QString>

// At most one call dialog per user, whichever edition opens it and however: both editions watch
// the same clipboard and answer links. The claim is a lock file in the user's private place
// (PrivatePlace), tried without waiting and held as long as this object lives; one left by a
// holder that crashed is taken over.
class DialogClaim
{
public:
    // The claim of this user. When the other edition holds it, `request` (what this opening is
    // for: a number's text, or empty for the user's own request) is handed to that edition, which
    // treats it as its own and so brings its open dialog forward.
    explicit DialogClaim(const QString &request = QString());
    Q_DISABLE_COPY_MOVE(DialogClaim)

    // False while another holds it: open nothing. True also where the editions cannot meet (no
    // private place), since a claim that cannot be made must not stop the dialog.
    bool isHeld() const;

private:
    QLockFile file;
    bool held = true;
};
