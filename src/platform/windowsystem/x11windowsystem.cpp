// The X11 backend, on plain xcb.
//
// Every request is sent, flushed and then waited for with a deadline, so a
// server that hangs costs a few seconds rather than the whole program; errors
// come back as values (a window that vanished answers BadWindow), and once the
// connection has broken every call answers "nothing there" at once.
#include "x11windowsystem.h"

#include "backendrules.h"

#include <QString>
#include <QList>
#include <QStringView>

#include <xcb/xcb.h>
#include <xcb/xcbext.h> // xcb_poll_for_reply: waiting with a deadline
#ifdef VELTRANO_HAVE_XCB_XKB
// The C header names a field `explicit`, a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#endif

#include <poll.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

using BackendRules::Clock;
using BackendRules::firstCodePoints;
using BackendRules::kOperationTimeout;

// Qt's event thread may read our replies off the socket before we see the
// socket become readable, so the wait re-checks xcb's queue this often.
constexpr int kPollSliceMs = 1;

// How deep below a window manager's frame we look for the client window.
constexpr int kMaxFrameDepth = 3;

struct FreeDeleter
{
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;

enum AtomIndex {
    NetWmName,
    Utf8String,
    CompoundText,
    WmState,
    WmProtocols,
    WmDeleteWindow,
    NetCloseWindow,
    AtomCount
};

constexpr std::array<const char *, AtomCount> kAtomNames = {
    "_NET_WM_NAME", "UTF8_STRING", "COMPOUND_TEXT", "WM_STATE",
    "WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_CLOSE_WINDOW",
};

// Text of a caption property as Unicode. Stops at the first NUL, as a C
// buffer would; invalid UTF-8 becomes replacement characters.
QString decodeCaption(const xcb_get_property_reply_t *reply, xcb_atom_t utf8, xcb_atom_t compound)
{
    if (!reply || reply->format != 8)
        return {};
    const char *bytes = static_cast<const char *>(xcb_get_property_value(reply));
    const int length = xcb_get_property_value_length(reply);
    if (!bytes || length <= 0)
        return {};
    QByteArrayView view(bytes, length);
    const qsizetype nul = view.indexOf('\0');
    if (nul >= 0)
        view = view.first(nul);
    if (reply->type == utf8)
        return QString::fromUtf8(view);
    if (reply->type == compound) {
        // Compound text switches character sets with escape sequences; without
        // Xlib's converters we keep the Latin-1 runs and drop the sequences.
        QByteArray plain;
        for (qsizetype i = 0; i < view.size(); ++i) {
            if (view[i] == '\x1b') {
                // ESC, intermediate bytes 0x20-0x2F, then one final byte.
                ++i;
                while (i < view.size() && uchar(view[i]) >= 0x20 && uchar(view[i]) <= 0x2f)
                    ++i;
                continue;
            }
            plain.append(view[i]);
        }
        return QString::fromLatin1(plain);
    }
    // STRING, and whatever else a client put there, read as Latin-1.
    return QString::fromLatin1(view);
}

class X11WindowSystem final : public WindowSystem
{
public:
    X11WindowSystem(xcb_connection_t *connection, bool owned)
        : m_connection(connection), m_owned(owned)
    {
    }

    ~X11WindowSystem() override
    {
        if (m_owned)
            xcb_disconnect(m_connection);
    }

    // Finds the roots and interns the atoms; false when the server does not
    // answer in time.
    bool initialise()
    {
        if (broken())
            return false;
        const xcb_setup_t *setup = xcb_get_setup(m_connection);
        if (!setup)
            return false;
        for (auto it = xcb_setup_roots_iterator(setup); it.rem; xcb_screen_next(&it))
            m_roots.push_back(it.data->root);
        if (m_roots.empty())
            return false;

        const Clock::time_point deadline = Clock::now() + kOperationTimeout;
        std::array<unsigned int, AtomCount> sequences{};
        for (int i = 0; i < AtomCount; ++i)
            sequences[i] = xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(kAtomNames[i])),
                                           kAtomNames[i]).sequence;
        xcb_flush(m_connection);
        bool ok = true;
        for (int i = 0; i < AtomCount; ++i) {
            auto reply = awaitReply<xcb_intern_atom_reply_t>(sequences[i], deadline);
            if (!reply)
                ok = false;
            else
                m_atoms[i] = reply->atom;
        }
        return ok;
    }

    const char *backendName() const override { return "x11"; }

    std::vector<WindowId> topLevelWindows() override
    {
        if (broken())
            return {};
        const Clock::time_point deadline = Clock::now() + kOperationTimeout;
        std::vector<xcb_window_t> tops;
        for (xcb_window_t root : m_roots) {
            const std::vector<xcb_window_t> children = childrenOf({root}, deadline).front();
            tops.insert(tops.end(), children.begin(), children.end());
        }
        const std::vector<xcb_window_t> clients = clientWindows(tops, deadline);
        if (broken())
            return {};
        return std::vector<WindowId>(clients.begin(), clients.end());
    }

    std::optional<std::string> caption(WindowId window, int bound) override
    {
        if (broken() || !validId(window))
            return std::nullopt;
        return captions({xcb_window_t(window)}, bound, Clock::now() + kOperationTimeout).front();
    }

    std::optional<WindowId> findByCaption(const std::string &text) override
    {
        if (broken())
            return std::nullopt;
        const QString wanted = QString::fromUtf8(text);
        // Reading one character more than the text has tells a longer caption
        // from an equal one.
        const int bound = int(std::min<qsizetype>(wanted.toUcs4().size() + 2, 1 << 20));
        const std::vector<WindowId> windows = topLevelWindows();
        std::vector<xcb_window_t> ids(windows.begin(), windows.end());
        const auto texts = captions(ids, bound, Clock::now() + kOperationTimeout);
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (texts[i] && *texts[i] == text)
                return ids[i];
        }
        return std::nullopt;
    }

    bool requestClose(WindowId window) override
    {
        if (broken() || !validId(window))
            return false;
        const Clock::time_point deadline = Clock::now() + kOperationTimeout;
        // Asked for a frame, close the client inside it.
        const xcb_window_t target = clientWindows({xcb_window_t(window)}, deadline).front();

        const auto tree = awaitReply<xcb_query_tree_reply_t>(
            send(xcb_query_tree(m_connection, target).sequence), deadline);
        if (!tree)
            return false;

        xcb_client_message_event_t event;
        std::memset(&event, 0, sizeof event);
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = target;

        if (supportsDelete(target, deadline)) {
            // ICCCM: sent to the client itself with an empty event mask.
            event.type = m_atoms[WmProtocols];
            event.data.data32[0] = m_atoms[WmDeleteWindow];
            event.data.data32[1] = XCB_CURRENT_TIME;
            return checkVoid(xcb_send_event_checked(m_connection, 0, target, XCB_EVENT_MASK_NO_EVENT,
                                                    reinterpret_cast<const char *>(&event)),
                             deadline);
        }
        // The client does not take part in the protocol: ask the window manager.
        event.type = m_atoms[NetCloseWindow];
        event.data.data32[0] = XCB_CURRENT_TIME;
        event.data.data32[1] = 2; // source: a tool acting for the user
        return checkVoid(xcb_send_event_checked(m_connection, 0, tree->root,
                                                XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY
                                                    | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                                                reinterpret_cast<const char *>(&event)),
                         deadline);
    }

    bool exists(WindowId window) override
    {
        if (broken() || !validId(window))
            return false;
        return bool(awaitReply<xcb_get_window_attributes_reply_t>(
            send(xcb_get_window_attributes(m_connection, xcb_window_t(window)).sequence),
            Clock::now() + kOperationTimeout));
    }

    bool requestDetectableAutoRepeat() override
    {
#ifdef VELTRANO_HAVE_XCB_XKB
        // The flag belongs to one client: a connection of our own would set
        // it where no key of the application ever arrives.
        if (m_owned || broken())
            return false;
        const xcb_query_extension_reply_t *extension = xcb_get_extension_data(m_connection, &xcb_xkb_id);
        if (!extension || !extension->present)
            return false;
        const Clock::time_point deadline = Clock::now() + kOperationTimeout;
        const auto use = awaitReply<xcb_xkb_use_extension_reply_t>(
            send(xcb_xkb_use_extension(m_connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION).sequence),
            deadline);
        if (!use || !use->supported)
            return false;
        constexpr uint32_t kDetectable = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
        const auto flags = awaitReply<xcb_xkb_per_client_flags_reply_t>(
            send(xcb_xkb_per_client_flags(m_connection, XCB_XKB_ID_USE_CORE_KBD, kDetectable, kDetectable, 0, 0, 0)
                     .sequence),
            deadline);
        // The reply says which flags the server now applies.
        return flags && (flags->value & kDetectable);
#else
        return false;
#endif
    }

private:
    bool broken() const { return xcb_connection_has_error(m_connection) != 0; }

    static bool validId(WindowId window) { return window != 0 && window <= 0xffffffffu; }

    unsigned int send(unsigned int sequence)
    {
        xcb_flush(m_connection);
        return sequence;
    }

    // The reply to one request, or nothing on an X error, a broken
    // connection or the deadline. A late reply is discarded by xcb.
    template <typename Reply>
    XcbPtr<Reply> awaitReply(unsigned int sequence, Clock::time_point deadline)
    {
        void *reply = nullptr;
        if (!awaitRaw(sequence, deadline, &reply))
            return nullptr;
        return XcbPtr<Reply>(static_cast<Reply *>(reply));
    }

    // True once the request is answered without error; *reply then holds its
    // reply (null for a request that has none).
    bool awaitRaw(unsigned int sequence, Clock::time_point deadline, void **reply)
    {
        *reply = nullptr;
        for (;;) {
            if (broken())
                return false;
            xcb_generic_error_t *error = nullptr;
            if (xcb_poll_for_reply(m_connection, sequence, reply, &error)) {
                if (error) {
                    std::free(error);
                    std::free(*reply);
                    *reply = nullptr;
                    return false;
                }
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                xcb_discard_reply(m_connection, sequence);
                return false;
            }
            pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&fd, 1, int(std::min<long long>(left.count(), kPollSliceMs)));
        }
    }

    // Waits for a checked request without a reply: a round trip queued behind
    // it proves the server has handled it, then its error (if any) is ready.
    bool checkVoid(xcb_void_cookie_t cookie, Clock::time_point deadline)
    {
        const unsigned int sync = send(xcb_get_input_focus(m_connection).sequence);
        if (!awaitReply<xcb_get_input_focus_reply_t>(sync, deadline)) {
            xcb_discard_reply(m_connection, cookie.sequence);
            return false;
        }
        void *reply = nullptr;
        return awaitRaw(cookie.sequence, deadline, &reply);
    }

    // The children of each window, bottom to top; empty for a window that is
    // gone.
    std::vector<std::vector<xcb_window_t>> childrenOf(const std::vector<xcb_window_t> &windows,
                                                      Clock::time_point deadline)
    {
        std::vector<unsigned int> sequences;
        sequences.reserve(windows.size());
        for (xcb_window_t w : windows)
            sequences.push_back(xcb_query_tree(m_connection, w).sequence);
        xcb_flush(m_connection);
        std::vector<std::vector<xcb_window_t>> result(windows.size());
        for (std::size_t i = 0; i < windows.size(); ++i) {
            const auto reply = awaitReply<xcb_query_tree_reply_t>(sequences[i], deadline);
            if (!reply)
                continue;
            const xcb_window_t *children = xcb_query_tree_children(reply.get());
            result[i].assign(children, children + xcb_query_tree_children_length(reply.get()));
        }
        return result;
    }

    // Which of the windows carry WM_STATE, i.e. are clients a window manager
    // looks after.
    std::vector<bool> haveWmState(const std::vector<xcb_window_t> &windows, Clock::time_point deadline)
    {
        std::vector<unsigned int> sequences;
        sequences.reserve(windows.size());
        for (xcb_window_t w : windows)
            sequences.push_back(
                xcb_get_property(m_connection, 0, w, m_atoms[WmState], XCB_ATOM_ANY, 0, 0).sequence);
        xcb_flush(m_connection);
        std::vector<bool> result(windows.size(), false);
        for (std::size_t i = 0; i < windows.size(); ++i) {
            const auto reply = awaitReply<xcb_get_property_reply_t>(sequences[i], deadline);
            result[i] = reply && reply->type != XCB_ATOM_NONE;
        }
        return result;
    }

    // For each top-level window the client window that a reparenting window
    // manager framed: the window itself when it carries WM_STATE, else the
    // shallowest descendant that does, else (no window manager, an unmanaged
    // window) the window itself. The tree is walked a level at a time for all
    // windows together, so the round trips do not grow with their number.
    std::vector<xcb_window_t> clientWindows(const std::vector<xcb_window_t> &tops,
                                            Clock::time_point deadline)
    {
        std::vector<xcb_window_t> result = tops;
        std::vector<bool> resolved(tops.size(), false);
        struct Candidate
        {
            std::size_t slot;
            xcb_window_t window;
        };
        std::vector<Candidate> level;
        for (std::size_t i = 0; i < tops.size(); ++i)
            level.push_back({i, tops[i]});

        for (int depth = 0; depth <= kMaxFrameDepth && !level.empty() && !broken(); ++depth) {
            std::vector<xcb_window_t> windows;
            for (const Candidate &c : level)
                windows.push_back(c.window);
            const std::vector<bool> managed = haveWmState(windows, deadline);
            for (std::size_t i = 0; i < level.size(); ++i) {
                if (managed[i] && !resolved[level[i].slot]) {
                    resolved[level[i].slot] = true;
                    result[level[i].slot] = level[i].window;
                }
            }
            if (depth == kMaxFrameDepth)
                break;
            std::vector<Candidate> open;
            for (const Candidate &c : level) {
                if (!resolved[c.slot])
                    open.push_back(c);
            }
            windows.clear();
            for (const Candidate &c : open)
                windows.push_back(c.window);
            const auto children = childrenOf(windows, deadline);
            std::vector<Candidate> next;
            for (std::size_t i = 0; i < open.size(); ++i) {
                for (xcb_window_t child : children[i])
                    next.push_back({open[i].slot, child});
            }
            level = std::move(next);
        }
        return result;
    }

    // Captions of several windows in one go; nothing for a window that is gone.
    std::vector<std::optional<std::string>> captions(const std::vector<xcb_window_t> &windows, int bound,
                                                     Clock::time_point deadline)
    {
        std::vector<std::optional<std::string>> result(windows.size());
        if (bound <= 1) {
            // No room for any character; still tell a live window from a gone one.
            for (std::size_t i = 0; i < windows.size(); ++i) {
                if (exists(windows[i]))
                    result[i] = std::string();
            }
            return result;
        }
        // A UTF-8 character takes at most 4 bytes: bound 32-bit units is enough
        // for bound - 1 characters, and a huge caption is never fetched whole.
        const uint32_t units = uint32_t(bound);
        std::vector<std::pair<unsigned int, unsigned int>> sequences;
        sequences.reserve(windows.size());
        for (xcb_window_t w : windows) {
            const unsigned int net = xcb_get_property(m_connection, 0, w, m_atoms[NetWmName],
                                                      m_atoms[Utf8String], 0, units).sequence;
            const unsigned int legacy = xcb_get_property(m_connection, 0, w, XCB_ATOM_WM_NAME,
                                                         XCB_ATOM_ANY, 0, units).sequence;
            sequences.emplace_back(net, legacy);
        }
        xcb_flush(m_connection);
        for (std::size_t i = 0; i < windows.size(); ++i) {
            const auto net = awaitReply<xcb_get_property_reply_t>(sequences[i].first, deadline);
            const auto legacy = awaitReply<xcb_get_property_reply_t>(sequences[i].second, deadline);
            if (!net || !legacy)
                continue; // gone, or no answer
            QString text;
            if (net->type == m_atoms[Utf8String])
                text = decodeCaption(net.get(), m_atoms[Utf8String], m_atoms[CompoundText]);
            if (text.isEmpty())
                text = decodeCaption(legacy.get(), m_atoms[Utf8String], m_atoms[CompoundText]);
            result[i] = firstCodePoints(text, bound - 1).toStdString();
        }
        return result;
    }

    bool supportsDelete(xcb_window_t window, Clock::time_point deadline)
    {
        const auto reply = awaitReply<xcb_get_property_reply_t>(
            send(xcb_get_property(m_connection, 0, window, m_atoms[WmProtocols], XCB_ATOM_ATOM, 0, 1024)
                     .sequence),
            deadline);
        if (!reply || reply->type != XCB_ATOM_ATOM || reply->format != 32)
            return false;
        const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_atom_t));
        return std::find(atoms, atoms + count, m_atoms[WmDeleteWindow]) != atoms + count;
    }

    xcb_connection_t *m_connection;
    bool m_owned;
    std::vector<xcb_window_t> m_roots;
    std::array<xcb_atom_t, AtomCount> m_atoms{};
};

} // namespace

std::unique_ptr<WindowSystem> createX11WindowSystem(xcb_connection_t *connection, bool takeOwnership)
{
    if (!connection)
        return nullptr;
    auto backend = std::make_unique<X11WindowSystem>(connection, takeOwnership);
    if (!backend->initialise())
        return nullptr; // the destructor disconnects an owned connection
    return backend;
}
