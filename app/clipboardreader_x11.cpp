#include "clipboardreader.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace {

// An owner that has not answered within this is taken for hung, and that ownership is not asked
// again, so that changes do not keep requests pending on it.
constexpr std::chrono::seconds answerWait(2);
// A larger text reads as empty. It is still taken to its end when sent in pieces (INCR), as some
// owners stop serving anyone until then.
constexpr int textCap = ClipboardReader::textCap;

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name),
                              nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// One taking of the clipboard: X reuses window ids, so the window alone does not tell two apart.
struct Ownership
{
    xcb_window_t owner = XCB_WINDOW_NONE;
    xcb_timestamp_t since = XCB_CURRENT_TIME;
    bool operator==(const Ownership &other) const
    {
        return owner == other.owner && since == other.since;
    }
};

} // namespace

// Reads CLIPBOARD over an X connection of its own, without waiting: the owner's answer comes
// through the event loop, so an owner that never answers holds up nothing. Qt's own reading waits
// for it, seconds per change. XFixes tells each new ownership with its timestamp.
class ClipboardReader::Private
{
public:
    // Null when the display or XFixes cannot be reached.
    static std::unique_ptr<Private> open(std::function<void()> textReady)
    {
        xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
        const Reply<xcb_xfixes_query_version_reply_t> xfixes(
            xcb_connection_has_error(connection)
                ? nullptr
                : xcb_xfixes_query_version_reply(
                      connection, xcb_xfixes_query_version(connection, 1, 0), nullptr),
            &std::free);
        if (!xfixes) {
            xcb_disconnect(connection);
            return nullptr;
        }
        return std::unique_ptr<Private>(new Private(connection, std::move(textReady)));
    }

    ~Private() { cancel(); }

    // Asks the current owner for its text, forgetting a request still unanswered. textReady
    // runs from the event loop once the text has come; never when the owner does not answer,
    // nor when this ownership left a request unanswered.
    void request()
    {
        cancel();
        const Reply<xcb_get_selection_owner_reply_t> reply(
            xcb_get_selection_owner_reply(
                connection.get(), xcb_get_selection_owner(connection.get(), clipboard), nullptr),
            &std::free);
        if (!reply)
            return;
        // The change of hands was told before this reply: its event is queued by now.
        while (xcb_generic_event_t *event = xcb_poll_for_queued_event(connection.get()))
            handle(Reply<xcb_generic_event_t>(event, &std::free));
        asked = {reply->owner,
                 reply->owner == current.owner ? current.since : xcb_timestamp_t(XCB_CURRENT_TIME)};
        if (asked == hung)
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
    Private(xcb_connection_t *connection, std::function<void()> textReady)
        : connection(connection, &xcb_disconnect), textReady(std::move(textReady)),
          root(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root),
          clipboard(internAtom(connection, "CLIPBOARD")),
          utf8(internAtom(connection, "UTF8_STRING")), incr(internAtom(connection, "INCR")),
          property(internAtom(connection, "TINTELLE_SELECTION")),
          ownerChanged(xcb_get_extension_data(connection, &xcb_xfixes_id)->first_event +
                       XCB_XFIXES_SELECTION_NOTIFY),
          notifier(xcb_get_file_descriptor(connection), QSocketNotifier::Read)
    {
        xcb_xfixes_select_selection_input(connection, root, clipboard,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
        xcb_flush(connection);
        QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, [this] { read(); });
        wait.setSingleShot(true);
        wait.setInterval(answerWait);
        QObject::connect(&wait, &QTimer::timeout, &notifier, [this] {
            hung = asked;
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
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection.get()))
            handle(Reply<xcb_generic_event_t>(event, &std::free));
        if (xcb_connection_has_error(connection.get()))
            notifier.setEnabled(false);
    }

    void handle(const Reply<xcb_generic_event_t> &event)
    {
        const auto type = event->response_type & 0x7f;
        const auto *piece = reinterpret_cast<xcb_property_notify_event_t *>(event.get());
        if (type == ownerChanged) {
            const auto *change =
                reinterpret_cast<xcb_xfixes_selection_notify_event_t *>(event.get());
            current = {change->owner, change->selection_timestamp};
        } else if (type == XCB_SELECTION_NOTIFY) {
            answered(*reinterpret_cast<xcb_selection_notify_event_t *>(event.get()));
        } else if (type == XCB_PROPERTY_NOTIFY && inPieces && piece->window == requestor &&
                   piece->atom == property && piece->state == XCB_PROPERTY_NEW_VALUE) {
            readProperty();
        }
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
    const int ownerChanged;
    QSocketNotifier notifier;
    QTimer wait;
    // Each request has a window of its own, so that a late answer to an earlier one is told apart.
    xcb_window_t requestor = XCB_WINDOW_NONE;
    // The latest ownership XFixes told of, the one last asked, and the one that left it unanswered.
    Ownership current, asked;
    std::optional<Ownership> hung;
    QByteArray received;
    bool inPieces = false;
    bool tooLarge = false;
    bool ready = false;
    QString text;
};

ClipboardReader::ClipboardReader(std::function<void()> textReady)
{
    // Other platforms of the same build (offscreen, Wayland) are read through Qt.
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        d = Private::open(std::move(textReady));
}

ClipboardReader::~ClipboardReader() = default;

bool ClipboardReader::read(QString &text)
{
    if (!d) {
        text = readThroughQt();
        return true;
    }
    if (d->take(text))
        return true;
    d->request();
    return false;
}
