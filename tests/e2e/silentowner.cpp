// A program that takes the clipboard and never answers for it, as a hung one does: prints "asked"
// at each request it leaves unanswered.
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <xcb/xcb.h>

int main()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return 1;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, 0, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_intern_atom_reply_t *clipboard =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 9, "CLIPBOARD"), nullptr);
    pollfd input{xcb_get_file_descriptor(connection), POLLIN, 0};
    xcb_set_selection_owner(connection, window, clipboard->atom, XCB_CURRENT_TIME);
    xcb_flush(connection);
    while (poll(&input, 1, -1) > 0 && !xcb_connection_has_error(connection))
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST)
                std::printf("asked\n"), std::fflush(stdout);
            std::free(event);
        }
    return 1;
}
