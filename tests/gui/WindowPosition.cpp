// Tells a scenario about a visible top-level window, so it can aim real pointer input at it and
// answer only the message box it expects.
//   WindowPosition <class> <title>          "x y width height dpi": its client area on the screen
//                                           and the DPI its layout is scaled by
//   WindowPosition --text <class> <title>   the texts of its static controls, one UTF-8 line each
//   WindowPosition --frame <class> <title>  "x y width height left top right bottom": its outer
//                                           rectangle and the work area of its monitor
//   WindowPosition --focus <class> <title>  "class|text" of the control inside it that has the
//                                           keyboard focus; fails when the focus is elsewhere
//   WindowPosition --child <class> <title> <text>
//                                           "x y width height checked": the visible control of
//                                           that text on the screen, and its check state
//   WindowPosition --end-session <class> <title>
//                                           logs the window's session off as the system does
//                                           (asks, then says it ends); hidden windows too.
//                                           Fails when it refuses or is not found
//   WindowPosition --exists <class> <title> succeeds when the window exists, hidden or shown
//   WindowPosition --painted <class> <title>
//                                           succeeds when the visible window and its controls
//                                           have nothing left to paint
// An empty title matches any title.
#include <windows.h>

#include <cstdio>
#include <string>

#include "framework/Dpi.h"
#include "framework/Strings.h"

namespace {

// Asked of the control itself: GetWindowText does not ask a window of another process, so an
// edit's or a drop-down list's text would read empty.
std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, &length);
    return std::wstring(text, length < 512 ? length : 0);
}

BOOL CALLBACK PrintStaticText(HWND child, LPARAM) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (lstrcmpiW(className, L"Static") != 0) return TRUE;
    const std::wstring text = TextOf(child);
    if (!text.empty()) std::printf("%s\n", ToUtf8(text).c_str());
    return TRUE;
}

struct TChildSearch {
    std::wstring Text;
    HWND Found = nullptr;
};

BOOL CALLBACK FindChild(HWND child, LPARAM param) {
    auto& search = *reinterpret_cast<TChildSearch*>(param);
    // A drop-down list is found by the item it shows.
    if (!IsWindowVisible(child) || TextOf(child) != search.Text) return TRUE;
    search.Found = child;
    return FALSE;
}

int PrintFrame(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    std::printf("%ld %ld %ld %ld %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left,
                r.bottom - r.top, work.left, work.top, work.right, work.bottom);
    return 0;
}

BOOL CALLBACK FindUnpainted(HWND child, LPARAM param) {
    if (!IsWindowVisible(child) || !GetUpdateRect(child, nullptr, FALSE)) return TRUE;
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
}

int CheckPainted(HWND window) {
    // Asked again after the window's thread has answered a message: what it invalidated while
    // handling input that came before is then in its update region.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
    bool unpainted = GetUpdateRect(window, nullptr, FALSE) != FALSE;
    if (!unpainted) EnumChildWindows(window, FindUnpainted, reinterpret_cast<LPARAM>(&unpainted));
    return unpainted ? 1 : 0;
}

int PrintFocus(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) || !info.hwndFocus ||
        (info.hwndFocus != window && !IsChild(window, info.hwndFocus)))
        return 1;
    wchar_t className[64] = {};
    GetClassNameW(info.hwndFocus, className, 64);
    std::printf("%s|%s\n", ToUtf8(className).c_str(), ToUtf8(TextOf(info.hwndFocus)).c_str());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"--child") {
        HWND window = FindWindowW(argv[2], argv[3]);
        if (!window || !IsWindowVisible(window)) return 1;
        TChildSearch search{argv[4]};
        EnumChildWindows(window, FindChild, reinterpret_cast<LPARAM>(&search));
        if (!search.Found) return 1;
        RECT r;
        GetWindowRect(search.Found, &r);
        std::printf("%ld %ld %ld %ld %d\n", r.left, r.top, r.right - r.left, r.bottom - r.top,
                    static_cast<int>(SendMessageW(search.Found, BM_GETCHECK, 0, 0)));
        return 0;
    }
    if (argc == 4 && std::wstring(argv[1]) == L"--exists")
        return FindWindowW(argv[2], argv[3][0] ? argv[3] : nullptr) ? 0 : 1;
    if (argc == 4 && std::wstring(argv[1]) == L"--end-session") {
        HWND window = FindWindowW(argv[2], argv[3][0] ? argv[3] : nullptr);
        DWORD_PTR allowed = 0;
        if (!window ||
            !SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                                 5000, &allowed) ||
            !allowed)
            return 1;
        // Nothing follows: the program must end by itself (Windows would end it by force).
        SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000,
                            nullptr);
        return 0;
    }
    const std::wstring mode = argc == 4 ? argv[1] : L"";
    if (argc != 3 && mode != L"--text" && mode != L"--frame" && mode != L"--focus" &&
        mode != L"--painted")
        return 2;
    const std::wstring title = argv[argc - 1];
    HWND window = FindWindowW(argv[argc - 2], title.empty() ? nullptr : title.c_str());
    if (!window || !IsWindowVisible(window)) return 1;
    if (mode == L"--text") {
        EnumChildWindows(window, PrintStaticText, 0);
        return 0;
    }
    if (mode == L"--frame") return PrintFrame(window);
    if (mode == L"--focus") return PrintFocus(window);
    if (mode == L"--painted") return CheckPainted(window);
    RECT client;
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    std::printf("%ld %ld %ld %ld %d\n", origin.x, origin.y, client.right, client.bottom,
                WindowDpi(window));
    return 0;
}
