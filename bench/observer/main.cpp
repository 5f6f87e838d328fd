// Watches a program from outside through the X server, for program-bench.sh.
//
// embed INSTANCE: prints "ready", then, once a window whose WM_CLASS instance is INSTANCE has been
//   reparented into a tray host and is viewable, the wall-clock time in ns (the caller started
//   the program and compares with its own start time).
// clipboard TITLE RUNS: RUNS times, takes the clipboard with a number and prints the ms until a
//   top-level window titled TITLE is mapped (the clock starts once the server has made this
//   process the owner); between copies the dialog is closed with Escape (through xdotool).
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <xcb/xcb.h>

namespace {

QByteArray windowInstance(xcb_connection_t *connection, xcb_window_t window)
{
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &free);
    if (!reply)
        return {};
    // "instance\0class\0"
    return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()))
        .split('\0')
        .value(0);
}

bool viewable(xcb_connection_t *connection, xcb_window_t window)
{
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window),
                                        nullptr),
        &free);
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

int embed(xcb_connection_t *connection, xcb_window_t root, const QByteArray &instance)
{
    std::printf("ready\n");
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    xcb_window_t icon = 0;
    while (!icon && timer.elapsed() < 30000) {
        xcb_generic_event_t *event = xcb_wait_for_event(connection);
        if (!event)
            return 1;
        if ((event->response_type & 0x7f) == XCB_REPARENT_NOTIFY) {
            const auto *reparent = reinterpret_cast<xcb_reparent_notify_event_t *>(event);
            if (reparent->parent != root &&
                windowInstance(connection, reparent->window) == instance)
                icon = reparent->window;
        }
        free(event);
    }
    while (icon && !viewable(connection, icon) && timer.elapsed() < 30000)
        QThread::usleep(250);
    if (!icon || !viewable(connection, icon))
        return 1;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    std::printf("%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    return 0;
}

QByteArray windowTitle(xcb_connection_t *connection, xcb_window_t window)
{
    const xcb_intern_atom_cookie_t utf8Cookie = xcb_intern_atom(connection, 0, 11, "UTF8_STRING");
    const xcb_intern_atom_cookie_t nameCookie = xcb_intern_atom(connection, 0, 12, "_NET_WM_NAME");
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> utf8(
        xcb_intern_atom_reply(connection, utf8Cookie, nullptr), &free);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> name(
        xcb_intern_atom_reply(connection, nameCookie, nullptr), &free);
    if (!utf8 || !name)
        return {};
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, window, name->atom, utf8->atom, 0, 1024);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &free);
    if (!reply)
        return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

// Waits for a map (or an unmap, with `mapped` false) of a window titled `title`, serving this
// application's events meanwhile so that the clipboard can be read from us. 0 on timeout.
xcb_window_t waitFor(xcb_connection_t *connection, const QByteArray &title, bool mapped,
                     xcb_window_t known, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            const int type = event->response_type & 0x7f;
            xcb_window_t hit = 0;
            if (mapped && type == XCB_MAP_NOTIFY) {
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                if (windowTitle(connection, map->window) == title)
                    hit = map->window;
            } else if (!mapped && type == XCB_UNMAP_NOTIFY) {
                const auto *unmap = reinterpret_cast<xcb_unmap_notify_event_t *>(event);
                if (unmap->window == known)
                    hit = known;
            }
            free(event);
            if (hit)
                return hit;
        }
        QThread::usleep(200);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const bool embedMode = argc == 3 && std::strcmp(argv[1], "embed") == 0;
    if (!embedMode && !(argc == 4 && std::strcmp(argv[1], "clipboard") == 0)) {
        std::fprintf(stderr, "usage: %s embed INSTANCE | clipboard TITLE RUNS\n", argv[0]);
        return 2;
    }

    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 2;
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    if (embedMode)
        return embed(connection, screen->root, argv[2]);

    const QByteArray title(argv[2]);
    const int runs = std::atoi(argv[3]);
    for (int i = 0; i < runs; ++i) {
        QThread::msleep(200);
        QCoreApplication::processEvents();
        while (xcb_generic_event_t *stale = xcb_poll_for_event(connection))
            free(stale);
        // setText returns once the server has made us the owner: the change has happened.
        QGuiApplication::clipboard()->setText(
            QStringLiteral("Rappeler le 06 12 34 56 %1").arg(i % 100, 2, 10, QLatin1Char('0')));
        QElapsedTimer timer;
        timer.start();
        const xcb_window_t dialog = waitFor(connection, title, true, 0, 10000);
        const double ms = timer.nsecsElapsed() / 1e6;
        if (!dialog) {
            std::fprintf(stderr, "no window titled \"%s\" was mapped\n", title.constData());
            return 1;
        }
        std::printf("%.1f\n", ms);
        std::fflush(stdout);
        QProcess::execute(QStringLiteral("xdotool"),
                          {QStringLiteral("windowfocus"), QString::number(dialog)});
        QProcess::execute(QStringLiteral("xdotool"),
                          {QStringLiteral("key"), QStringLiteral("Escape")});
        if (!waitFor(connection, title, false, dialog, 5000)) {
            std::fprintf(stderr, "the dialog did not close\n");
            return 1;
        }
    }
    xcb_disconnect(connection);
    return 0;
}
