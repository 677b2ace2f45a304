// Test helper: a native Wayland window owned by another process.
//
//   waylandwindowhelper TITLE [--ignore-close]
//
// Maps an xdg toplevel titled TITLE on the compositor named by $WAYLAND_DISPLAY,
// prints "ready" once the compositor has mapped it, and on the compositor's
// close request prints "delete" and then closes and exits, or with
// --ignore-close stays. Exits when stdin closes or the compositor goes.
#include "xdg-shell-client-protocol.h"

#include <wayland-client.h>

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 40;

struct Globals
{
    wl_compositor *compositor = nullptr;
    wl_shm *shm = nullptr;
    xdg_wm_base *wmBase = nullptr;
};

struct State
{
    bool configured = false;
    bool closeRequested = false;
};

void onGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto *globals = static_cast<Globals *>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        globals->compositor = static_cast<wl_compositor *>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        globals->shm = static_cast<wl_shm *>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        globals->wmBase = static_cast<xdg_wm_base *>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
}

const wl_registry_listener registryListener = {onGlobal, [](void *, wl_registry *, uint32_t) {}};

const xdg_wm_base_listener wmBaseListener = {
    [](void *, xdg_wm_base *base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const xdg_surface_listener surfaceListener = {
    [](void *data, xdg_surface *surface, uint32_t serial) {
        xdg_surface_ack_configure(surface, serial);
        static_cast<State *>(data)->configured = true;
    },
};

const xdg_toplevel_listener toplevelListener = {
    [](void *, xdg_toplevel *, int32_t, int32_t, wl_array *) {},
    [](void *data, xdg_toplevel *) { static_cast<State *>(data)->closeRequested = true; },
    [](void *, xdg_toplevel *, int32_t, int32_t) {}, // configure_bounds
    [](void *, xdg_toplevel *, wl_array *) {},       // wm_capabilities
};

// A white buffer: a toplevel is only mapped once it shows something.
wl_buffer *whiteBuffer(wl_shm *shm)
{
    const int stride = kWidth * 4;
    const int size = stride * kHeight;
    const int fd = memfd_create("waylandwindowhelper", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0)
        return nullptr;
    void *pixels = mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED)
        return nullptr;
    std::memset(pixels, 0xff, size_t(size));
    munmap(pixels, size_t(size));
    wl_shm_pool *pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer *buffer = wl_shm_pool_create_buffer(pool, 0, kWidth, kHeight, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TITLE [--ignore-close]\n", argv[0]);
        return 2;
    }
    const bool ignoreClose = argc > 2 && std::strcmp(argv[2], "--ignore-close") == 0;

    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "cannot connect to the compositor\n");
        return 1;
    }
    Globals globals;
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.compositor || !globals.shm || !globals.wmBase) {
        std::fprintf(stderr, "the compositor lacks wl_compositor, wl_shm or xdg_wm_base\n");
        return 1;
    }
    xdg_wm_base_add_listener(globals.wmBase, &wmBaseListener, nullptr);

    State state;
    wl_surface *surface = wl_compositor_create_surface(globals.compositor);
    xdg_surface *shellSurface = xdg_wm_base_get_xdg_surface(globals.wmBase, surface);
    xdg_surface_add_listener(shellSurface, &surfaceListener, &state);
    xdg_toplevel *toplevel = xdg_surface_get_toplevel(shellSurface);
    xdg_toplevel_add_listener(toplevel, &toplevelListener, &state);
    xdg_toplevel_set_title(toplevel, argv[1]);
    wl_surface_commit(surface);
    while (!state.configured) {
        if (wl_display_dispatch(display) < 0)
            return 1;
    }
    wl_buffer *buffer = whiteBuffer(globals.shm);
    if (!buffer)
        return 1;
    wl_surface_attach(surface, buffer, 0, 0);
    wl_surface_commit(surface);
    // Once the compositor has answered, it has handled the commit that maps
    // the window.
    if (wl_display_roundtrip(display) < 0)
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);

    for (;;) {
        if (state.closeRequested) {
            state.closeRequested = false;
            std::printf("delete\n");
            std::fflush(stdout);
            if (!ignoreClose) {
                xdg_toplevel_destroy(toplevel);
                xdg_surface_destroy(shellSurface);
                wl_surface_destroy(surface);
                wl_display_roundtrip(display);
                wl_display_disconnect(display);
                return 0;
            }
        }
        while (wl_display_prepare_read(display) != 0)
            wl_display_dispatch_pending(display);
        wl_display_flush(display);
        pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            wl_display_cancel_read(display);
            continue;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (wl_display_read_events(display) < 0)
                return 1; // the compositor has gone
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0)
            return 1;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char chunk[64];
            if (::read(STDIN_FILENO, chunk, sizeof chunk) <= 0)
                break;
        }
    }
    wl_display_disconnect(display);
    return 0;
}
