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
    // Headless platforms show nothing on a desktop, so there is nothing to
    // list even if an X server happens to be around. Under Wayland (or with no
    // GUI at all) an X server named by $DISPLAY is still worth asking.
    const bool headless = !platform.isEmpty() && platform != QLatin1String("xcb")
        && !platform.startsWith(QLatin1String("wayland"));
    if (!headless && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        if (auto backend = connectX11(nullptr))
            return backend;
    }
    return createNull();
#endif
}
