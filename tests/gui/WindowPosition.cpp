// Tells a scenario about a visible top-level window, so it can aim real pointer input at it and
// answer only the message box it expects.
//   WindowPosition <class> <title>         "x y width height dpi": its client area on the screen
//                                          and the DPI its layout is scaled by
//   WindowPosition --text <class> <title>  the texts of its static controls, one UTF-8 line each
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

} // namespace

int wmain(int argc, wchar_t** argv) {
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
