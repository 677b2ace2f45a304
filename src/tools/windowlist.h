#pragma once
// The running-windows routines: read the desktop's
// top-level windows into a list of entries and ask chosen ones to close.
//
// Each entry keeps the window it was read from beside its caption, so a close
// reaches exactly the window the user picked, even when several windows share
// a caption or the caption was cut short in the list.
#include "windowsystem.h"

#include <QList>
#include <QString>

#include <optional>

namespace MainMods {

// One line of the running-windows list.
struct WindowEntry
{
    WindowId Window = 0;
    QString Caption;

    friend bool operator==(const WindowEntry &, const WindowEntry &) = default;
};

// Captions are read through a buffer of this many characters, the last one
// kept for the terminator: at most 254 characters of caption come back.
constexpr int CaptionBufferLength = WindowSystem::kCaptionBound;

// The enumeration step for one window: its entry, or nothing when the window
// has no caption or has gone.
std::optional<WindowEntry> ListWindowCaption(WindowSystem &windows, WindowId window);

// Every top-level window with a caption, in the platform's order; windows
// that share a caption appear once each.
QList<WindowEntry> ListWindowCaptions(WindowSystem &windows);

// Asks the entry's own window to close if it still exists. A window that has
// gone is skipped; whether the window closes is up to its owner. True when the
// request was sent.
bool CloseWindowByCaption(WindowSystem &windows, const WindowEntry &entry);

} // namespace MainMods
