// A program that owns the clipboard, for tests; prints "owned" each time it takes it. By default it
// never answers, as a hung one does, and prints "asked" at each request. "--string TEXT" answers
// TEXT as STRING only; "--late TEXT" too, once a requestor gave up on it and it took the clipboard
// again, with the same window; "--incr N" answers N digits as UTF8_STRING, in pieces (INCR).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <xcb/xcb.h>

int main(int argc, char **argv)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    const auto atom = [c](const char *name) {
        auto *reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), 0);
        const xcb_atom_t atom = reply->atom;
        return std::free(reply), atom;
    };
    const std::string mode = argc > 2 ? argv[1] : "", given = argc > 2 ? argv[2] : "";
    const bool incr = mode == "--incr";
    const std::string text = incr ? std::string(std::stoul(given), '6') : given;
    bool answering = mode == "--string" || incr;
    const xcb_atom_t clipboard = atom("CLIPBOARD"),
                     target = incr ? atom("UTF8_STRING") : xcb_atom_t(XCB_ATOM_STRING);
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, 0, window, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root, 0, 0, 1,
                      1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const auto take = [&] {
        xcb_set_selection_owner(c, window, clipboard, XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // done by now
        std::printf("owned\n"), std::fflush(stdout);
    };
    take();
    xcb_selection_request_event_t pieces{}; // the request being answered in pieces
    std::size_t sent = 0;
    while (xcb_generic_event_t *event = xcb_wait_for_event(c)) {
        const auto *request = reinterpret_cast<xcb_selection_request_event_t *>(event);
        const auto *change = reinterpret_cast<xcb_property_notify_event_t *>(event);
        const int type = event->response_type & 0x7f;
        uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY, size = text.size();
        if (type == XCB_SELECTION_REQUEST && !answering) {
            std::printf("asked\n"), std::fflush(stdout);
            if (mode == "--late")
                xcb_change_window_attributes(c, request->requestor, XCB_CW_EVENT_MASK, &events);
        } else if (type == XCB_SELECTION_REQUEST) {
            const bool ours = request->target == target;
            xcb_selection_notify_event_t answer{};
            answer.response_type = XCB_SELECTION_NOTIFY, answer.time = request->time;
            answer.requestor = request->requestor, answer.selection = request->selection;
            answer.target = request->target, answer.property = ours ? request->property : 0;
            events = XCB_EVENT_MASK_PROPERTY_CHANGE;
            if (ours && incr) {
                xcb_change_window_attributes(c, request->requestor, XCB_CW_EVENT_MASK, &events);
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, request->requestor, request->property,
                                    atom("INCR"), 32, 1, &size);
                pieces = *request, sent = 0;
            } else if (ours)
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, request->requestor, request->property,
                                    target, 8, size, text.data());
            xcb_send_event(c, 0, request->requestor, 0, reinterpret_cast<const char *>(&answer));
        } else if (type == XCB_DESTROY_NOTIFY) {
            answering = true, take(); // given up on, with "--late"
        } else if (type == XCB_PROPERTY_NOTIFY && change->window == pieces.requestor &&
                   change->atom == pieces.property && change->state == XCB_PROPERTY_DELETE) {
            // The requestor took a piece: the next one, ending with an empty one.
            const std::size_t piece = std::min<std::size_t>(1 << 16, text.size() - sent);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, pieces.requestor, pieces.property, target,
                                8, piece, text.data() + sent);
            sent += piece;
            pieces.requestor = piece ? pieces.requestor : xcb_window_t(XCB_WINDOW_NONE);
        }
        std::free(event);
        xcb_flush(c);
    }
    return 1;
}
