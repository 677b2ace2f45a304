#pragma once
// Factory of the Wayland backend. Kept apart from the backend's source so that
// nothing outside this library sees the Wayland headers.
#include "windowsystem.h"

// A backend on a connection of its own to the named compositor socket
// (nullptr for $WAYLAND_DISPLAY). nullptr when the compositor cannot be
// reached in time or offers no foreign-toplevel management.
std::unique_ptr<WindowSystem> connectWaylandWindowSystem(const char *displayName);
