#pragma once
// The backend for sessions whose windows we cannot reach (a Wayland compositor
// that keeps its toplevels to itself and no X server, headless Qt platforms):
// the desktop looks empty and requests do nothing.
#include "windowsystem.h"

class NullWindowSystem final : public WindowSystem
{
public:
    const char *backendName() const override { return "null"; }
    std::vector<WindowId> topLevelWindows() override { return {}; }
    std::optional<std::string> caption(WindowId, int) override { return std::nullopt; }
    std::optional<WindowId> findByCaption(const std::string &) override { return std::nullopt; }
    bool requestClose(WindowId) override { return false; }
    bool exists(WindowId) override { return false; }
    bool requestDetectableAutoRepeat() override { return false; }
};
