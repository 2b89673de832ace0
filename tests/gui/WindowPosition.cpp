// Tells a scenario about a visible top-level window, so it can aim real pointer input at it and
// answer only the message box it expects.
//   WindowPosition <class> <title>         "x y width height dpi": its client area on the screen
//                                          and the DPI its layout is scaled by
//   WindowPosition --text <class> <title>  the texts of its static controls, one UTF-8 line each
//   WindowPosition --child <class> <title> <text>
//                                          "x y width height checked": the visible control of
//                                          that text on the screen, and its check state
#include <windows.h>

#include <cstdio>
#include <string>

#include "framework/Dpi.h"
#include "framework/Strings.h"

namespace {

BOOL CALLBACK PrintStaticText(HWND child, LPARAM) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (lstrcmpiW(className, L"Static") != 0) return TRUE;
    std::wstring text(GetWindowTextLengthW(child) + 1, L'\0');
    text.resize(GetWindowTextW(child, text.data(), static_cast<int>(text.size())));
    if (!text.empty()) std::printf("%s\n", ToUtf8(text).c_str());
    return TRUE;
}

struct TChildSearch {
    std::wstring Text;
    HWND Found = nullptr;
};

BOOL CALLBACK FindChild(HWND child, LPARAM param) {
    auto& search = *reinterpret_cast<TChildSearch*>(param);
    std::wstring text(GetWindowTextLengthW(child) + 1, L'\0');
    text.resize(GetWindowTextW(child, text.data(), static_cast<int>(text.size())));
    if (text != search.Text || !IsWindowVisible(child)) return TRUE;
    search.Found = child;
    return FALSE;
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
    const bool text = argc == 4 && std::wstring(argv[1]) == L"--text";
    if (argc != 3 && !text) return 2;
    HWND window = FindWindowW(argv[argc - 2], argv[argc - 1]);
    if (!window || !IsWindowVisible(window)) return 1;
    if (text) {
        EnumChildWindows(window, PrintStaticText, 0);
        return 0;
    }
    RECT client;
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    std::printf("%ld %ld %ld %ld %d\n", origin.x, origin.y, client.right, client.bottom,
                WindowDpi(window));
    return 0;
}
