#pragma once
// The desktop's top-level windows, as far as the editor needs them: list them,
// read a caption, find one by caption and ask one politely to close.
//
// This header stays free of Qt and of platform headers so that every backend,
// including the Win32 one that is checked with a cross-compiler that has no Qt,
// can implement it. Captions travel as UTF-8.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A window as the platform names it (an X window id, a Win32 HWND, the number
// a Wayland backend gave a compositor's toplevel). Only the backend that
// handed it out can interpret it.
using WindowId = std::uint64_t;

// One platform's window operations. Every call copes with windows that vanish
// at any moment and with a window system that stops answering: such a window
// is simply not there, and no call blocks for longer than a few seconds.
class WindowSystem
{
public:
    // Size of the caption buffer in characters, terminator included.
    static constexpr int kCaptionBound = 255;

    virtual ~WindowSystem() = default;

    // "x11", "wayland", "windows" or "null".
    virtual const char *backendName() const = 0;

    // Every top-level window of every process, hidden ones included, in the
    // platform's own order (on Wayland, where a hidden window is no toplevel,
    // the shown ones in the order the compositor announced them). Empty when
    // the window system cannot be reached.
    virtual std::vector<WindowId> topLevelWindows() = 0;

    // The window's caption, cut to at most bound - 1 characters as if read
    // into a buffer of bound characters; "" for a window without caption;
    // nothing when the window is gone.
    virtual std::optional<std::string> caption(WindowId window, int bound = kCaptionBound) = 0;

    // The first top-level window whose whole caption equals the text exactly.
    virtual std::optional<WindowId> findByCaption(const std::string &caption) = 0;

    // Queues a polite close request and returns without waiting for the
    // window; the window's owner decides whether to close. False when the
    // window is gone or the request could not be sent.
    virtual bool requestClose(WindowId window) = 0;

    virtual bool exists(WindowId window) = 0;

    // Asks that a held key reach this application as repeated presses and a
    // single release, on the connection the application's keys arrive on.
    // True when keys now arrive so (Windows always reports them so); false
    // when the window system cannot be asked.
    virtual bool requestDetectableAutoRepeat() = 0;

    // The backend for the platform the application runs on: the X11 one on
    // Qt's own connection when Qt runs on xcb, Win32 on Windows, the Wayland
    // one when Qt runs on Wayland and the compositor lets clients list its
    // toplevels; else an own X connection to $DISPLAY where there is one
    // (XWayland's windows), else the null backend. The offscreen and minimal
    // Qt platforms get the null backend.
    static std::unique_ptr<WindowSystem> create();

    // Lists nothing and closes nothing.
    static std::unique_ptr<WindowSystem> createNull();

    // An X11 backend on its own connection to the named display (nullptr for
    // $DISPLAY); nullptr when the display cannot be reached or this build has
    // no X11 support.
    static std::unique_ptr<WindowSystem> connectX11(const char *displayName);

    // A Wayland backend on its own connection to the named compositor socket
    // (a name in $XDG_RUNTIME_DIR or an absolute path; nullptr for
    // $WAYLAND_DISPLAY); nullptr when the compositor cannot be reached, offers
    // no foreign-toplevel management, or this build has no Wayland support.
    static std::unique_ptr<WindowSystem> connectWayland(const char *displayName);
};
