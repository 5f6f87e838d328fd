#pragma once

#include <QObject>
#include <QString>

// Decides how a call dialog opens, for every route, so that no key meant for another window, and
// no number the user did not see, places a call:
//
// | route       | number | a dialog open      | dialog                       | keyboard | notice  |
// |-------------|--------|--------------------|------------------------------|----------|---------|
// | copy, link  | none   | any                | none opened, none moved      | left     | link's  |
// | copy, link  | yes    | none               | opened on the number         | left     | -       |
// | copy, link  | yes    | any                | left where it is             | left     | ignored |
// | tray, start | -      | none               | opened, edit page            | taken    | -       |
// | tray, start | -      | any                | raised, edit page, selected  | taken    | -       |
//
// A dialog a copy or a link opens stays off Configuration's fields. One shown form everywhere:
// the recogniser's. The other edition's open dialog is handed the request instead (DialogClaim).
class CallOpener : public QObject
{
    Q_OBJECT

public:
    enum class Route {
        Copy,  // a copied text: someone else's choice, as the user works elsewhere
        Link,  // the text of a tel: or callto: link: someone else's choice too
        Tray,  // the tray's double-click or menu: the user's own request
        Start, // a later start without a link: the user's own request
    };
    Q_ENUM(Route)

    // `place`: the user's private place (PrivatePlace), where the claim on the one dialog is kept;
    // without one, dialogs open unclaimed.
    explicit CallOpener(const QString &place = QString(), QObject *parent = nullptr);

    // Returns once the dialog it opened has closed, at once otherwise.
    void open(Route route, const QString &text = QString());
    // A later start's request (SingleInstance::requested): empty for a plain start, otherwise a
    // link's text.
    void openRequest(const QString &request);
    // What a later start hands over for a link whose text is `text`: never empty, which would read
    // as a plain start.
    static QString linkRequest(const QString &text);

signals:
    // Something the user must be told, from the tray.
    void notice(const QString &text);

private:
    const QString place;
};
