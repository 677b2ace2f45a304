// Chooses the backend for the platform the program runs on.
#include "windowsystem.h"

#include "nullwindowsystem.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QString>

#ifdef Q_OS_WIN
#include "win32windowsystem.h"
#endif

#ifdef VELTRANO_HAVE_XCB
#include "x11windowsystem.h"
#include <xcb/xcb.h>
#endif

#ifdef VELTRANO_HAVE_WAYLAND
#include "waylandwindowsystem.h"
#endif

std::unique_ptr<WindowSystem> WindowSystem::createNull()
{
    return std::make_unique<NullWindowSystem>();
}

std::unique_ptr<WindowSystem> WindowSystem::connectX11(const char *displayName)
{
#ifdef VELTRANO_HAVE_XCB
    xcb_connection_t *connection = xcb_connect(displayName, nullptr);
    if (!connection)
        return nullptr;
    if (xcb_connection_has_error(connection)) {
        // A failed connect still hands out an object that must be freed.
        xcb_disconnect(connection);
        return nullptr;
    }
    return createX11WindowSystem(connection, true);
#else
    (void)displayName;
    return nullptr;
#endif
}

std::unique_ptr<WindowSystem> WindowSystem::connectWayland(const char *displayName)
{
#ifdef VELTRANO_HAVE_WAYLAND
    return connectWaylandWindowSystem(displayName);
#else
    (void)displayName;
    return nullptr;
#endif
}

std::unique_ptr<WindowSystem> WindowSystem::create()
{
#ifdef Q_OS_WIN
    return createWin32WindowSystem();
#else
    const QString platform = qGuiApp ? QGuiApplication::platformName() : QString();
#if defined(VELTRANO_HAVE_XCB) && QT_CONFIG(xcb)
    if (platform == QLatin1String("xcb")) {
        if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            if (auto backend = createX11WindowSystem(x11->connection(), false))
                return backend;
        }
    }
#endif
    // Qt 6.4 keeps its wl_display to itself, so the backend connects to the
    // same compositor ($WAYLAND_DISPLAY, as Qt did) on its own.
    const bool wayland = platform.startsWith(QLatin1String("wayland"));
    if (wayland) {
        if (auto backend = connectWayland(nullptr))
            return backend;
    }
    // Headless platforms show nothing on a desktop, so there is nothing to
    // list even if an X server happens to be around. Under a Wayland
    // compositor that keeps its toplevels to itself (or with no GUI at all) an
    // X server named by $DISPLAY is still worth asking: XWayland's windows are
    // better than none.
    const bool headless = !platform.isEmpty() && platform != QLatin1String("xcb") && !wayland;
    if (!headless && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        if (auto backend = connectX11(nullptr))
            return backend;
    }
    return createNull();
#endif
}
