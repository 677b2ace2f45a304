#pragma once
// Test support: a desktop held in memory, for the logic above the backends.
#include "windowsystem.h"

#include <QString>

#include <map>

class FakeWindowSystem final : public WindowSystem
{
public:
    struct Window
    {
        WindowId id;
        QString caption;
        bool gone = false; // listed by the enumeration, but gone when asked
    };

    std::vector<Window> windows;
    std::vector<WindowId> closeRequests;

    const char *backendName() const override { return "fake"; }

    std::vector<WindowId> topLevelWindows() override
    {
        std::vector<WindowId> ids;
        for (const Window &w : windows)
            ids.push_back(w.id);
        return ids;
    }

    std::optional<std::string> caption(WindowId id, int bound) override
    {
        const Window *w = find(id);
        if (!w)
            return std::nullopt;
        return w->caption.left(std::max(bound - 1, 0)).toStdString();
    }

    std::optional<WindowId> findByCaption(const std::string &text) override
    {
        for (const Window &w : windows) {
            if (!w.gone && w.caption.toStdString() == text)
                return w.id;
        }
        return std::nullopt;
    }

    bool requestClose(WindowId id) override
    {
        if (!find(id))
            return false;
        closeRequests.push_back(id);
        return true;
    }

    bool exists(WindowId id) override { return find(id) != nullptr; }
    bool requestDetectableAutoRepeat() override { return false; }

private:
    const Window *find(WindowId id) const
    {
        for (const Window &w : windows) {
            if (w.id == id && !w.gone)
                return &w;
        }
        return nullptr;
    }
};
