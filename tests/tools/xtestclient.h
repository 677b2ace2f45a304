#pragma once
// Test support: a raw xcb client in the test process that makes windows with
// exactly the properties a case needs, and can play a window manager.
#include <QByteArray>
#include <QElapsedTimer>

#include <xcb/xcb.h>

#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <optional>

class XTestClient
{
public:
    explicit XTestClient(const QByteArray &display)
    {
        m_connection = xcb_connect(display.constData(), nullptr);
        if (!xcb_connection_has_error(m_connection))
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~XTestClient() { xcb_disconnect(m_connection); }
    XTestClient(const XTestClient &) = delete;
    XTestClient &operator=(const XTestClient &) = delete;

    bool isValid() const { return m_root != 0 && !xcb_connection_has_error(m_connection); }
    xcb_connection_t *connection() const { return m_connection; }
    xcb_window_t root() const { return m_root; }

    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    // An unmapped window (hidden windows are listed too) under `parent`.
    xcb_window_t createWindow(xcb_window_t parent = 0)
    {
        const xcb_window_t window = xcb_generate_id(m_connection);
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, parent ? parent : m_root, 0, 0,
                          100, 50, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_EVENT_MASK, &mask);
        sync();
        return window;
    }

    void setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, const QByteArray &bytes)
    {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, property, type, 8,
                            uint32_t(bytes.size()), bytes.constData());
        sync();
    }

    void setNetWmName(xcb_window_t window, const QByteArray &utf8)
    {
        setProperty(window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), utf8);
    }

    void setWmName(xcb_window_t window, const QByteArray &bytes, xcb_atom_t type = XCB_ATOM_STRING)
    {
        setProperty(window, XCB_ATOM_WM_NAME, type, bytes);
    }

    void setDeleteProtocol(xcb_window_t window)
    {
        const xcb_atom_t protocols[] = {atom("WM_TAKE_FOCUS"), atom("WM_DELETE_WINDOW")};
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom("WM_PROTOCOLS"),
                            XCB_ATOM_ATOM, 32, 2, protocols);
        sync();
    }

    // Marks the window as a client that a window manager looks after.
    void setWmState(xcb_window_t window)
    {
        const uint32_t state[] = {1 /* NormalState */, XCB_WINDOW_NONE};
        const xcb_atom_t wmState = atom("WM_STATE");
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, wmState, wmState, 32, 2, state);
        sync();
    }

    xcb_window_t parentOf(xcb_window_t window)
    {
        xcb_query_tree_reply_t *reply =
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr);
        const xcb_window_t parent = reply ? reply->parent : xcb_window_t(XCB_WINDOW_NONE);
        std::free(reply);
        return parent;
    }

    void raise(xcb_window_t window)
    {
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(m_connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        sync();
    }

    void destroy(xcb_window_t window)
    {
        xcb_destroy_window(m_connection, window);
        sync();
    }

    // Takes the root's redirect, as a window manager does, so requests meant
    // for the window manager come to us.
    bool becomeWindowManager()
    {
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_generic_error_t *error = xcb_request_check(
            m_connection, xcb_change_window_attributes_checked(m_connection, m_root, XCB_CW_EVENT_MASK, &mask));
        std::free(error);
        return error == nullptr;
    }

    // The next client message, skipping other events.
    std::optional<xcb_client_message_event_t> waitForClientMessage(int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
                const bool isMessage = (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE;
                std::optional<xcb_client_message_event_t> message;
                if (isMessage) {
                    xcb_client_message_event_t copy;
                    std::memcpy(&copy, event, sizeof copy);
                    message = copy;
                }
                std::free(event);
                if (message)
                    return message;
            }
            pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&fd, 1, 20);
        }
        return std::nullopt;
    }

    void sync()
    {
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

private:
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
};
