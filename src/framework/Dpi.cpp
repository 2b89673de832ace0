#include "framework/Dpi.h"

#include "framework/Scoped.h"

int WindowDpi(HWND window) {
    // GetDpiForWindow exists from Windows 10 on; earlier systems have one DPI for all.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (window && getDpiForWindow) {
        if (const UINT dpi = getDpiForWindow(window)) return static_cast<int>(dpi);
    }
    ScopedWindowDc screen(nullptr);
    return GetDeviceCaps(screen.Get(), LOGPIXELSY);
}
