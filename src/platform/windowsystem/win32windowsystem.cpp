// The Win32 backend: user32 does all the work. Captions are 8-bit text in the
// system's ANSI code page on this side and UTF-8 on the interface's side.
// No Qt here, so that the source can be checked with a cross-compiler.
#include "win32windowsystem.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

HWND toHandle(WindowId window)
{
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}

WindowId toId(HWND window)
{
    return static_cast<WindowId>(reinterpret_cast<std::uintptr_t>(window));
}

// Converts between code pages through UTF-16. Nothing when the text has a
// character that the target code page cannot hold.
std::optional<std::string> recode(const std::string &text, UINT from, UINT to)
{
    if (text.empty())
        return std::string();
    const int wideLength = MultiByteToWideChar(from, 0, text.data(), int(text.size()), nullptr, 0);
    if (wideLength <= 0)
        return std::nullopt;
    std::wstring wide(std::size_t(wideLength), L'\0');
    if (MultiByteToWideChar(from, 0, text.data(), int(text.size()), wide.data(), wideLength) != wideLength)
        return std::nullopt;

    BOOL lossy = FALSE;
    // The lossy flag may only be asked for when converting to a code page
    // other than UTF-8.
    BOOL *lossyOut = to == CP_UTF8 ? nullptr : &lossy;
    const int length = WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, lossyOut);
    if (length <= 0 || lossy)
        return std::nullopt;
    std::string result(std::size_t(length), '\0');
    if (WideCharToMultiByte(to, 0, wide.data(), wideLength, result.data(), length, nullptr, lossyOut) != length
        || lossy)
        return std::nullopt;
    return result;
}

BOOL CALLBACK collectWindow(HWND window, LPARAM collected)
{
    reinterpret_cast<std::vector<WindowId> *>(collected)->push_back(toId(window));
    return TRUE; // always on to the end of the enumeration
}

class Win32WindowSystem final : public WindowSystem
{
public:
    const char *backendName() const override { return "windows"; }

    std::vector<WindowId> topLevelWindows() override
    {
        std::vector<WindowId> windows;
        if (!EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows)))
            return {};
        return windows;
    }

    std::optional<std::string> caption(WindowId window, int bound) override
    {
        if (!IsWindow(toHandle(window)))
            return std::nullopt;
        if (bound <= 1)
            return std::string();
        // Filled with zeros before each read, as GetWindowTextA leaves the
        // rest of the buffer alone.
        std::string buffer(std::size_t(bound), '\0');
        SetLastError(ERROR_SUCCESS);
        const int copied = GetWindowTextA(toHandle(window), buffer.data(), bound);
        if (copied <= 0) {
            // 0 means either "no caption" or a failure; only a window that
            // has gone turns it into "not there".
            return IsWindow(toHandle(window)) ? std::optional<std::string>(std::string()) : std::nullopt;
        }
        buffer.resize(std::size_t(copied < bound ? copied : bound - 1));
        return recode(buffer, CP_ACP, CP_UTF8);
    }

    std::optional<WindowId> findByCaption(const std::string &text) override
    {
        const std::optional<std::string> ansi = recode(text, CP_UTF8, CP_ACP);
        if (!ansi)
            return std::nullopt; // no window can carry a caption the code page cannot spell
        HWND found = FindWindowA(nullptr, ansi->c_str());
        if (!found)
            return std::nullopt;
        return toId(found);
    }

    bool requestClose(WindowId window) override
    {
        if (!IsWindow(toHandle(window)))
            return false;
        return PostMessageA(toHandle(window), WM_CLOSE, 0, 0) != FALSE;
    }

    bool exists(WindowId window) override { return IsWindow(toHandle(window)) != FALSE; }

    // Windows repeats WM_KEYDOWN while a key is held and sends one WM_KEYUP.
    bool requestDetectableAutoRepeat() override { return true; }
};

} // namespace

std::unique_ptr<WindowSystem> createWin32WindowSystem()
{
    return std::make_unique<Win32WindowSystem>();
}
