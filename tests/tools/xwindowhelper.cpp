// Test helper: a window owned by another process.
//
//   xwindowhelper DISPLAY CAPTION [--ignore-close] [--map]
//
// Creates a top-level window (unmapped unless --map) with CAPTION as _NET_WM_NAME and
// WM_NAME that takes part in WM_DELETE_WINDOW, prints "ready <id>", and on a
// delete request prints "delete" and then closes and exits, or with
// --ignore-close stays. Exits when stdin closes or the server goes.
#include <xcb/xcb.h>

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static xcb_atom_t intern(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DISPLAY CAPTION [--ignore-close] [--map]\n", argv[0]);
        return 2;
    }
    bool ignoreClose = false;
    bool map = false;
    for (int i = 3; i < argc; ++i) {
        ignoreClose = ignoreClose || std::strcmp(argv[i], "--ignore-close") == 0;
        map = map || std::strcmp(argv[i], "--map") == 0;
    }

    xcb_connection_t *c = xcb_connect(argv[1], nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "cannot connect to %s\n", argv[1]);
        return 1;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t protocols = intern(c, "WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = intern(c, "WM_DELETE_WINDOW");

    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 120, 40, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const char *caption = argv[2];
    const uint32_t length = uint32_t(std::strlen(caption));
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, intern(c, "_NET_WM_NAME"),
                        intern(c, "UTF8_STRING"), 8, length, caption);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, length,
                        caption);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32, 1, &deleteWindow);
    if (map)
        xcb_map_window(c, window);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

    std::printf("ready %u\n", window);
    std::fflush(stdout);

    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
            const bool isDelete = (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE
                && message->type == protocols && message->data.data32[0] == deleteWindow;
            std::free(event);
            if (!isDelete)
                continue;
            std::printf("delete\n");
            std::fflush(stdout);
            if (!ignoreClose) {
                xcb_destroy_window(c, window);
                xcb_disconnect(c);
                return 0;
            }
        }
        if (xcb_connection_has_error(c))
            return 1;
        pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        ::poll(fds, 2, -1);
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buffer[64];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                break;
        }
    }
    xcb_disconnect(c);
    return 0;
}
