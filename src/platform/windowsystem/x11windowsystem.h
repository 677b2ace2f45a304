#pragma once
// Factory of the X11 backend. Only a forward declaration of the connection
// here, so that including this header pulls in no X headers.
#include "windowsystem.h"

struct xcb_connection_t;

// A backend on an existing connection: Qt's own when Qt runs on xcb. When
// takeOwnership is set the backend disconnects it when destroyed. nullptr when
// the server does not answer or the connection is already broken (an owned
// connection is disconnected then).
std::unique_ptr<WindowSystem> createX11WindowSystem(xcb_connection_t *connection, bool takeOwnership);
