// The Win32 backend of the window list on a real user32: built with the MinGW
// cross-compiler and run under Wine (see run_under_wine.sh). Plain C++ with
// its own tiny checker, as the backend needs no Qt and none is built for
// Windows here.
//
// The windows are created with UTF-16 captions, so what the backend reads and
// looks up through the ANSI code page (Windows-1252 here) is checked against
// text it did not write itself.
#include "win32windowsystem.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

void check(bool ok, const std::string &what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what.c_str());
    if (!ok)
        ++g_failures;
}

std::string shown(const std::optional<std::string> &text)
{
    return text ? "\"" + *text + "\"" : "nothing";
}

void checkCaption(const std::optional<std::string> &got, const std::optional<std::string> &want,
                  const std::string &what)
{
    check(got == want, what + " (got " + shown(got) + ", want " + shown(want) + ")");
}

WindowId idOf(HWND window)
{
    return static_cast<WindowId>(reinterpret_cast<std::uintptr_t>(window));
}

// A window that refuses WM_CLOSE, as an owner that asks "save first?" may.
LRESULT CALLBACK stubbornProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_CLOSE)
        return 0;
    return DefWindowProcW(window, message, w, l);
}

HWND makeWindow(const std::wstring &caption, const wchar_t *windowClass, bool visible = true)
{
    HWND window = CreateWindowExW(0, windowClass, caption.c_str(),
                                  WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0),
                                  10, 10, 200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window) {
        std::printf("FAIL: could not create a window (error %lu)\n", GetLastError());
        std::exit(1);
    }
    return window;
}

// Delivers everything queued, the close requests included; returns when the
// queue is empty, so no wall-clock wait decides the outcome.
void pumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool listed(const std::vector<WindowId> &windows, HWND window)
{
    return std::find(windows.begin(), windows.end(), idOf(window)) != windows.end();
}

std::string repeat(const std::string &unit, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += unit;
    return text;
}

} // namespace

int main()
{
    if (GetACP() != 1252) {
        std::printf("FAIL: the ANSI code page is %u, the test expects 1252\n", GetACP());
        return 1;
    }

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW plain{};
    plain.lpfnWndProc = DefWindowProcW;
    plain.hInstance = instance;
    plain.lpszClassName = L"VeltranoPlain";
    WNDCLASSW stubborn = plain;
    stubborn.lpfnWndProc = stubbornProc;
    stubborn.lpszClassName = L"VeltranoStubborn";
    if (!RegisterClassW(&plain) || !RegisterClassW(&stubborn)) {
        std::printf("FAIL: could not register the window classes\n");
        return 1;
    }

    // 300 characters, every third one outside ASCII: e, é, €.
    std::wstring longWide;
    std::string longUtf8;
    for (int i = 0; i < 100; ++i) {
        longWide += L"e\u00e9\u20ac";
        longUtf8 += "e\xc3\xa9\xe2\x82\xac";
    }
    const std::string longCut = repeat("e\xc3\xa9\xe2\x82\xac", 84) + "e\xc3\xa9"; // 254 characters

    // Created in this order, the later ones lie on top.
    HWND twinBelow = makeWindow(L"Twin", L"VeltranoPlain");
    HWND twinAbove = makeWindow(L"Twin", L"VeltranoPlain");
    HWND accented = makeWindow(L"Caf\u00e9 \u00e0 la cr\u00e8me \u2013 \u00a9", L"VeltranoPlain");
    HWND longCaption = makeWindow(longWide, L"VeltranoPlain");
    HWND hidden = makeWindow(L"Hidden one", L"VeltranoPlain", false);
    HWND untitled = makeWindow(L"", L"VeltranoPlain");
    HWND greek = makeWindow(L"\u03a9mega", L"VeltranoPlain");
    HWND refuses = makeWindow(L"Refuses to close", L"VeltranoStubborn");
    pumpMessages();

    const std::unique_ptr<WindowSystem> system = createWin32WindowSystem();
    check(std::string(system->backendName()) == "windows", "backend name");

    // Listing: every top-level window, hidden and untitled ones too.
    const std::vector<WindowId> windows = system->topLevelWindows();
    int unlisted = 0;
    for (HWND window : {twinBelow, twinAbove, accented, longCaption, hidden, untitled, greek, refuses})
        unlisted += listed(windows, window) ? 0 : 1;
    check(unlisted == 0, "list: all 8 windows, hidden and untitled ones too (" + std::to_string(unlisted) + " missing)");

    // Captions, through Windows-1252 into UTF-8, cut at the bound.
    struct CaptionCase {
        const char *name;
        HWND window;
        int bound;
        std::optional<std::string> want;
    };
    const CaptionCase captions[] = {
        {"plain caption", twinBelow, WindowSystem::kCaptionBound, "Twin"},
        {"accents, en dash and copyright sign", accented, WindowSystem::kCaptionBound,
         "Caf\xc3\xa9 \xc3\xa0 la cr\xc3\xa8me \xe2\x80\x93 \xc2\xa9"},
        {"300 characters cut to 254", longCaption, WindowSystem::kCaptionBound, longCut},
        {"bound 5 keeps 4 characters", accented, 5, "Caf\xc3\xa9"},
        {"bound 2 keeps 1 character", accented, 2, "C"},
        {"bound 1 keeps nothing", accented, 1, ""},
        {"bound 0 keeps nothing", accented, 0, ""},
        {"hidden window", hidden, WindowSystem::kCaptionBound, "Hidden one"},
        {"window without caption", untitled, WindowSystem::kCaptionBound, ""},
    };
    for (const CaptionCase &c : captions)
        checkCaption(system->caption(idOf(c.window), c.bound), c.want, std::string("caption: ") + c.name);
    // A letter the code page has no place for arrives as the code page's
    // stand-in; it must not break the rest of the caption.
    const std::optional<std::string> greekCaption = system->caption(idOf(greek));
    check(greekCaption && greekCaption->size() == 5 && greekCaption->substr(1) == "mega",
          "caption: a letter outside the code page leaves the rest intact (got " + shown(greekCaption) + ")");

    // Finding: the whole caption exactly, the topmost of twins first.
    struct FindCase {
        const char *name;
        std::string caption;
        HWND want; // nullptr: no window
    };
    const FindCase finds[] = {
        {"the upper of two twins", "Twin", twinAbove},
        {"accented caption", "Caf\xc3\xa9 \xc3\xa0 la cr\xc3\xa8me \xe2\x80\x93 \xc2\xa9", accented},
        {"all 300 characters", longUtf8, longCaption},
        {"the 254 listed characters only", longCut, nullptr},
        {"a hidden window", "Hidden one", hidden},
        {"accent dropped", "Cafe \xc3\xa0 la cr\xc3\xa8me \xe2\x80\x93 \xc2\xa9", nullptr},
        {"a prefix", "Twi", nullptr},
        {"a letter outside the code page", "\xce\xa9mega", nullptr},
        {"text that is not UTF-8", "Caf\xe9", nullptr},
    };
    for (const FindCase &f : finds) {
        const std::optional<WindowId> found = system->findByCaption(f.caption);
        const bool ok = f.want ? found == idOf(f.want) : !found.has_value();
        check(ok, std::string("find: ") + f.name);
    }
    // The same order as the listing: the twin found is the one listed first.
    const auto firstTwin = std::find_if(windows.begin(), windows.end(), [&](WindowId w) {
        return w == idOf(twinBelow) || w == idOf(twinAbove);
    });
    check(firstTwin != windows.end() && *firstTwin == idOf(twinAbove), "find: the twin listed first");

    // Closing: a polite request the owner may refuse; a closed window is gone
    // for every call.
    check(system->requestClose(idOf(twinAbove)), "close: request sent to the upper twin");
    check(system->requestClose(idOf(refuses)), "close: request sent to a window that refuses");
    pumpMessages();
    check(!system->exists(idOf(twinAbove)), "close: the upper twin is gone");
    check(system->exists(idOf(twinBelow)), "close: the lower twin stays");
    check(system->exists(idOf(refuses)), "close: the window that refuses stays");
    checkCaption(system->caption(idOf(twinAbove)), std::nullopt, "close: a gone window has no caption");
    check(!system->requestClose(idOf(twinAbove)), "close: no request to a gone window");
    check(!listed(system->topLevelWindows(), twinAbove), "close: a gone window is not listed");
    check(system->findByCaption("Twin") == idOf(twinBelow), "close: the other twin is found now");

    DestroyWindow(refuses);
    std::printf("%d failure(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
