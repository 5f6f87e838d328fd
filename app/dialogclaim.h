#pragma once

#include <QString>

// A copied number opens at most one call dialog per user, whichever edition sees it first: both
// editions watch the same clipboard. The claim is a lock on a file in the user's private folder
// (SingleInstance::privateFolder()), tried without waiting and held as long as this object
// lives. The kernel drops it with its holder, however that ends.
class DialogClaim
{
public:
    // The claim of this user; `path` is for tests.
    DialogClaim();
    explicit DialogClaim(const QString &path);
    ~DialogClaim();
    Q_DISABLE_COPY_MOVE(DialogClaim)

    // False while another holds it: open nothing. True also where the editions cannot meet (no
    // private folder), since a claim that cannot be made must not stop the dialog.
    bool isHeld() const;

private:
    int fd = -1;
    bool held = true;
};
