#include "windowlist.h"

namespace MainMods {

std::optional<WindowEntry> ListWindowCaption(WindowSystem &windows, WindowId window)
{
    const std::optional<std::string> caption = windows.caption(window, CaptionBufferLength);
    if (!caption || caption->empty())
        return std::nullopt;
    return WindowEntry{window, QString::fromStdString(*caption)};
}

QList<WindowEntry> ListWindowCaptions(WindowSystem &windows)
{
    QList<WindowEntry> entries;
    for (WindowId window : windows.topLevelWindows()) {
        if (std::optional<WindowEntry> entry = ListWindowCaption(windows, window))
            entries.append(std::move(*entry));
    }
    return entries;
}

bool CloseWindowByCaption(WindowSystem &windows, const WindowEntry &entry)
{
    // A window that has closed since the list was read is refused by the
    // backend, which is the silent skip we want.
    return windows.requestClose(entry.Window);
}

} // namespace MainMods
