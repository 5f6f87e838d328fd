#include "sonaroclipboard.h"

#include "app/copyhandler.h"
#include "app/dialogclaim.h"
#include "dialogs/calldialog.h"
#include "service/settingskeys.h"
#include "service/ws.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>

#ifdef TINTELLE_X11_CLIPBOARD
#include <QDeadlineTimer>
#include <QHash>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <xcb/xcb.h>

namespace {

// An owner that has not answered within this is taken for hung, and its changes are ignored for
// a while, so that one that keeps taking the clipboard back does not keep requests pending.
constexpr std::chrono::seconds answerWait(2);
constexpr std::chrono::minutes hungOwnerIgnored(1);
// Far more than any text worth looking for a number in: a larger text reads as empty. It is still
// taken to its end when sent in pieces (INCR), as some owners stop serving anyone until then.
constexpr int textCap = 1 << 20;

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name),
                              nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

// Reads the text of the CLIPBOARD selection over an X connection of its own, without waiting:
// the owner's answer comes through the event loop, so an owner that never answers holds up
// nothing. Qt's own reading waits for it, seconds per change.
class SelectionReader
{
public:
    // Null when the display cannot be reached.
    static std::unique_ptr<SelectionReader> open(std::function<void()> textReady)
    {
        xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            return nullptr;
        }
        return std::unique_ptr<SelectionReader>(
            new SelectionReader(connection, std::move(textReady)));
    }

    ~SelectionReader() { cancel(); }

    // Asks the current owner for its text, forgetting a request still unanswered. textReady
    // runs from the event loop once the text has come; never when the owner does not answer,
    // nor when it left a request unanswered lately.
    void request()
    {
        cancel();
        const Reply<xcb_get_selection_owner_reply_t> reply(
            xcb_get_selection_owner_reply(
                connection.get(), xcb_get_selection_owner(connection.get(), clipboard), nullptr),
            &std::free);
        if (!reply)
            return;
        owner = reply->owner;
        for (auto it = hungOwners.begin(); it != hungOwners.end();)
            it = it->hasExpired() ? hungOwners.erase(it) : std::next(it);
        if (hungOwners.contains(owner))
            return;
        requestor = xcb_generate_id(connection.get());
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(connection.get(), 0, requestor, root, -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &events);
        received.clear();
        inPieces = tooLarge = false;
        convert(utf8);
        wait.start();
    }

    // The text that came, once; false when none is waiting.
    bool take(QString &text)
    {
        if (!ready)
            return false;
        ready = false;
        text = std::move(this->text);
        return true;
    }

private:
    SelectionReader(xcb_connection_t *connection, std::function<void()> textReady)
        : connection(connection, &xcb_disconnect), textReady(std::move(textReady)),
          root(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root),
          clipboard(internAtom(connection, "CLIPBOARD")),
          utf8(internAtom(connection, "UTF8_STRING")), incr(internAtom(connection, "INCR")),
          property(internAtom(connection, "TINTELLE_SELECTION")),
          notifier(xcb_get_file_descriptor(connection), QSocketNotifier::Read)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, [this] { read(); });
        wait.setSingleShot(true);
        wait.setInterval(answerWait);
        QObject::connect(&wait, &QTimer::timeout, &notifier, [this] {
            hungOwners.insert(owner, QDeadlineTimer(hungOwnerIgnored));
            cancel();
        });
    }

    void convert(xcb_atom_t target)
    {
        xcb_convert_selection(connection.get(), requestor, clipboard, target, property,
                              XCB_CURRENT_TIME);
        xcb_flush(connection.get());
    }

    void read()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection.get())) {
            const Reply<xcb_generic_event_t> held(event, &std::free);
            const auto *piece = reinterpret_cast<xcb_property_notify_event_t *>(event);
            if ((event->response_type & 0x7f) == XCB_SELECTION_NOTIFY)
                answered(*reinterpret_cast<xcb_selection_notify_event_t *>(event));
            else if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY && inPieces &&
                     piece->window == requestor && piece->atom == property &&
                     piece->state == XCB_PROPERTY_NEW_VALUE)
                readProperty();
        }
        if (xcb_connection_has_error(connection.get()))
            notifier.setEnabled(false);
    }

    void answered(const xcb_selection_notify_event_t &answer)
    {
        // An earlier request's answer names the window of its own, now gone.
        if (requestor == XCB_WINDOW_NONE || answer.requestor != requestor)
            return;
        if (answer.property == XCB_ATOM_NONE) {
            if (answer.target == utf8)
                convert(XCB_ATOM_STRING);
            else
                finish(QString());
            return;
        }
        readProperty();
    }

    // Takes the answer off the window, which tells an owner sending pieces to send the next: the
    // whole text, the start of a text in pieces, or one piece (the last one empty).
    void readProperty()
    {
        const Reply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(connection.get(),
                                   xcb_get_property(connection.get(), 1, requestor, property,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, textCap / 4),
                                   nullptr),
            &std::free);
        if (!reply)
            return finish(QString());
        if (reply->type == incr && !inPieces) {
            inPieces = true;
            return;
        }
        const int length = xcb_get_property_value_length(reply.get());
        if (reply->format != 8 || reply->bytes_after || received.size() + length > textCap)
            tooLarge = true;
        else if (length)
            received.append(static_cast<const char *>(xcb_get_property_value(reply.get())), length);
        if (inPieces && length)
            return;
        if (tooLarge)
            received.clear();
        finish(reply->type == XCB_ATOM_STRING ? QString::fromLatin1(received)
                                              : QString::fromUtf8(received));
    }

    void finish(const QString &text)
    {
        cancel();
        this->text = text;
        ready = true;
        // Not from here: the call dialog runs a nested event loop, this reader's included.
        QMetaObject::invokeMethod(&notifier, textReady, Qt::QueuedConnection);
    }

    void cancel()
    {
        wait.stop();
        if (requestor == XCB_WINDOW_NONE)
            return;
        xcb_destroy_window(connection.get(), requestor);
        xcb_flush(connection.get());
        requestor = XCB_WINDOW_NONE;
    }

    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection;
    const std::function<void()> textReady;
    const xcb_window_t root;
    const xcb_atom_t clipboard, utf8, incr, property;
    QSocketNotifier notifier;
    QTimer wait;
    // Each request has a window of its own, so that a late answer to an earlier one is told apart.
    xcb_window_t requestor = XCB_WINDOW_NONE;
    xcb_window_t owner = XCB_WINDOW_NONE;
    QHash<xcb_window_t, QDeadlineTimer> hungOwners;
    QByteArray received;
    bool inPieces = false;
    bool tooLarge = false;
    bool ready = false;
    QString text;
};
#else
class SelectionReader
{
};
#endif

SonaroClipboard::SonaroClipboard(QObject *parent) : QObject(parent), lastText(QStringLiteral("")) {}

SonaroClipboard::~SonaroClipboard() = default;

bool SonaroClipboard::startWatching()
{
#ifdef TINTELLE_X11_CLIPBOARD
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        reader = SelectionReader::open([this] { checkClipboard(); });
#endif
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
            &SonaroClipboard::checkClipboard);
    return true;
}

bool SonaroClipboard::readText(QString &text)
{
#ifdef TINTELLE_X11_CLIPBOARD
    if (reader) {
        if (reader->take(text))
            return true;
        reader->request();
        return false;
    }
#endif
    text = QApplication::clipboard()->text(QClipboard::Clipboard);
    return true;
}

void SonaroClipboard::checkClipboard()
{
    QString text;
    if (!CopyHandler::takesCopies()) // the other edition answers copies
        return;
    if (!readText(text))
        return; // back here once the owner has answered
    QString dial;
    const bool copyTwice = settings.value(SettingsKey::copyTwice, QVariant()).toBool();

    if (!copyTwice || lastText == text) {
        text = WS::extractNumber(text, dial);
        // Refused while a call dialog is open: that one comes to the front, whichever edition's.
        if (!text.isEmpty()) {
            const DialogClaim claim(text);
            if (claim.isHeld() || CallDialog::isOpen())
                CallDialog::open(dial, text, CallDialog::Opening::ByCopy);
        }
    }
    lastText = text;
}
