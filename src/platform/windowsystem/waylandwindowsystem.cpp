// The Wayland backend, on the wlroots foreign-toplevel management protocol.
//
// Qt 6.4 does not hand out its wl_display, so the backend keeps a connection
// of its own to the compositor. The compositor announces every toplevel as a
// handle and keeps its title up to date on it; every public call first makes
// one round trip, bounded by a deadline, so that it answers from what the
// compositor knew when we asked. A compositor that hangs costs a few seconds,
// and once the connection has broken every call answers "nothing there" at
// once.
//
// Handles are numbered in the order they were announced and a number is never
// given out twice, so a WindowId from an earlier listing can only ever reach
// its own window: closing goes by handle, never by title.
#include "waylandwindowsystem.h"

#include "backendrules.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <list>

namespace {

using BackendRules::Clock;
using BackendRules::kOperationTimeout;

// The newest version whose events we know how to read.
constexpr uint32_t kManagerVersion = 3;

int millisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return int(std::clamp<long long>(left.count(), 0, kOperationTimeout.count()));
}

// Titles arrive as UTF-8 but nothing makes a client keep to it: invalid bytes
// become replacement characters, as they do for X11 captions.
QString decodeTitle(const std::string &title)
{
    return QString::fromUtf8(title.data(), qsizetype(title.size()));
}

class WaylandWindowSystem final : public WindowSystem
{
public:
    explicit WaylandWindowSystem(wl_display *display) : m_display(display) {}

    ~WaylandWindowSystem() override
    {
        for (Toplevel &toplevel : m_toplevels)
            zwlr_foreign_toplevel_handle_v1_destroy(toplevel.handle);
        if (m_manager)
            zwlr_foreign_toplevel_manager_v1_destroy(m_manager);
        if (m_registry)
            wl_registry_destroy(m_registry);
        wl_display_disconnect(m_display);
    }

    // Finds the manager among the globals and reads the toplevels open now;
    // false when the compositor does not answer in time or has no manager.
    bool initialise()
    {
        const Clock::time_point deadline = Clock::now() + kOperationTimeout;
        m_registry = wl_display_get_registry(m_display);
        if (!m_registry)
            return false;
        static const wl_registry_listener registryListener = {
            &WaylandWindowSystem::onGlobal,
            [](void *, wl_registry *, uint32_t) {},
        };
        wl_registry_add_listener(m_registry, &registryListener, this);
        // The first round trip lists the globals and binds the manager; the
        // second brings the toplevels it announces on binding.
        return roundTrip(deadline) && m_manager && roundTrip(deadline);
    }

    const char *backendName() const override { return "wayland"; }

    std::vector<WindowId> topLevelWindows() override
    {
        if (!roundTrip(Clock::now() + kOperationTimeout))
            return {};
        std::vector<WindowId> windows;
        windows.reserve(m_toplevels.size());
        for (const Toplevel &toplevel : m_toplevels)
            windows.push_back(toplevel.id);
        return windows;
    }

    std::optional<std::string> caption(WindowId window, int bound) override
    {
        if (!roundTrip(Clock::now() + kOperationTimeout))
            return std::nullopt;
        const Toplevel *toplevel = find(window);
        if (!toplevel)
            return std::nullopt;
        if (bound <= 1)
            return std::string();
        return BackendRules::firstCodePoints(decodeTitle(toplevel->title), bound - 1).toStdString();
    }

    std::optional<WindowId> findByCaption(const std::string &text) override
    {
        if (!roundTrip(Clock::now() + kOperationTimeout))
            return std::nullopt;
        for (const Toplevel &toplevel : m_toplevels) {
            if (decodeTitle(toplevel.title).toStdString() == text)
                return toplevel.id;
        }
        return std::nullopt;
    }

    bool requestClose(WindowId window) override
    {
        const Clock::time_point deadline = Clock::now() + kOperationTimeout;
        // The round trip first brings news of windows that have gone since
        // the caller listed them.
        if (!roundTrip(deadline))
            return false;
        const Toplevel *toplevel = find(window);
        if (!toplevel)
            return false;
        zwlr_foreign_toplevel_handle_v1_close(toplevel->handle);
        // Answered once the compositor has handled the request (and has not
        // dropped us for it).
        return roundTrip(deadline);
    }

    bool exists(WindowId window) override
    {
        return roundTrip(Clock::now() + kOperationTimeout) && find(window);
    }

    // Keys reach the application on Qt's connection, not ours, and Wayland
    // has no server-side repeat to configure.
    bool requestDetectableAutoRepeat() override { return false; }

private:
    // One announced toplevel. The compositor sends property changes and then
    // done; only done makes them the toplevel's current state.
    struct Toplevel
    {
        WaylandWindowSystem *owner;
        WindowId id;
        zwlr_foreign_toplevel_handle_v1 *handle;
        std::string title;
        std::string pendingTitle;
    };

    bool broken() const { return wl_display_get_error(m_display) != 0; }

    const Toplevel *find(WindowId window) const
    {
        const auto it = std::find_if(m_toplevels.begin(), m_toplevels.end(),
                                     [window](const Toplevel &t) { return t.id == window; });
        return it == m_toplevels.end() ? nullptr : &*it;
    }

    // Sends everything queued and handles every event up to the compositor's
    // answer to a sync request. False on a broken connection or the deadline;
    // a late answer is then dropped with its callback.
    bool roundTrip(Clock::time_point deadline)
    {
        if (broken())
            return false;
        wl_callback *callback = wl_display_sync(m_display);
        if (!callback)
            return false;
        bool answered = false;
        static const wl_callback_listener callbackListener = {
            [](void *data, wl_callback *, uint32_t) { *static_cast<bool *>(data) = true; },
        };
        wl_callback_add_listener(callback, &callbackListener, &answered);
        const bool ok = dispatchUntil(answered, deadline);
        wl_callback_destroy(callback);
        return ok && !broken();
    }

    bool dispatchUntil(const bool &answered, Clock::time_point deadline)
    {
        const int fd = wl_display_get_fd(m_display);
        for (;;) {
            if (wl_display_dispatch_pending(m_display) < 0)
                return false;
            if (answered)
                return true;
            if (!flush(deadline))
                return false;
            // Another reader may have queued events meanwhile: handle those
            // before waiting for more.
            if (wl_display_prepare_read(m_display) != 0)
                continue;
            pollfd readable{fd, POLLIN, 0};
            const int ready = ::poll(&readable, 1, millisecondsLeft(deadline));
            if (ready <= 0) {
                wl_display_cancel_read(m_display);
                if (ready < 0 && errno == EINTR)
                    continue;
                return false; // the deadline, or a failed poll
            }
            if (wl_display_read_events(m_display) < 0)
                return false;
        }
    }

    // Writes out every queued request; a full socket is waited on until the
    // deadline.
    bool flush(Clock::time_point deadline)
    {
        while (wl_display_flush(m_display) < 0) {
            if (errno != EAGAIN)
                return false;
            pollfd writable{wl_display_get_fd(m_display), POLLOUT, 0};
            if (::poll(&writable, 1, millisecondsLeft(deadline)) <= 0 && Clock::now() >= deadline)
                return false;
        }
        return true;
    }

    static void onGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface,
                         uint32_t version)
    {
        auto *self = static_cast<WaylandWindowSystem *>(data);
        if (self->m_manager || std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) != 0)
            return;
        self->m_manager = static_cast<zwlr_foreign_toplevel_manager_v1 *>(wl_registry_bind(
            registry, name, &zwlr_foreign_toplevel_manager_v1_interface, std::min(version, kManagerVersion)));
        static const zwlr_foreign_toplevel_manager_v1_listener managerListener = {
            &WaylandWindowSystem::onToplevel,
            &WaylandWindowSystem::onFinished,
        };
        if (self->m_manager)
            zwlr_foreign_toplevel_manager_v1_add_listener(self->m_manager, &managerListener, self);
    }

    static void onToplevel(void *data, zwlr_foreign_toplevel_manager_v1 *,
                           zwlr_foreign_toplevel_handle_v1 *handle)
    {
        auto *self = static_cast<WaylandWindowSystem *>(data);
        self->m_toplevels.push_back({self, self->m_nextId++, handle, {}, {}});
        static const zwlr_foreign_toplevel_handle_v1_listener handleListener = {
            [](void *data, zwlr_foreign_toplevel_handle_v1 *, const char *title) {
                static_cast<Toplevel *>(data)->pendingTitle = title ? title : "";
            },
            [](void *, zwlr_foreign_toplevel_handle_v1 *, const char *) {},       // app_id
            [](void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) {},       // output_enter
            [](void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) {},       // output_leave
            [](void *, zwlr_foreign_toplevel_handle_v1 *, wl_array *) {},        // state
            [](void *data, zwlr_foreign_toplevel_handle_v1 *) {
                auto *toplevel = static_cast<Toplevel *>(data);
                toplevel->title = toplevel->pendingTitle;
            },
            &WaylandWindowSystem::onClosed,
            [](void *, zwlr_foreign_toplevel_handle_v1 *, zwlr_foreign_toplevel_handle_v1 *) {}, // parent
        };
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, &self->m_toplevels.back());
    }

    // The compositor has stopped announcing toplevels; those we know stay
    // valid until they close.
    static void onFinished(void *data, zwlr_foreign_toplevel_manager_v1 *manager)
    {
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
        static_cast<WaylandWindowSystem *>(data)->m_manager = nullptr;
    }

    static void onClosed(void *data, zwlr_foreign_toplevel_handle_v1 *handle)
    {
        auto *toplevel = static_cast<Toplevel *>(data);
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
        std::list<Toplevel> &toplevels = toplevel->owner->m_toplevels;
        toplevels.remove_if([toplevel](const Toplevel &t) { return &t == toplevel; });
    }

    wl_display *m_display;
    wl_registry *m_registry = nullptr;
    zwlr_foreign_toplevel_manager_v1 *m_manager = nullptr;
    // A list, so that each entry stays where its handle's listener points.
    std::list<Toplevel> m_toplevels;
    WindowId m_nextId = 1;
};

} // namespace

std::unique_ptr<WindowSystem> connectWaylandWindowSystem(const char *displayName)
{
    wl_display *display = wl_display_connect(displayName);
    if (!display)
        return nullptr;
    auto backend = std::make_unique<WaylandWindowSystem>(display);
    if (!backend->initialise())
        return nullptr; // the destructor disconnects
    return backend;
}
