#include "framework/Dpi.h"

#include <utility>

#include "framework/Scoped.h"

namespace {
std::function<int(HWND)>& DpiFunction() {
    static std::function<int(HWND)> f;
    return f;
}
} // namespace

std::function<int(HWND)> SetWindowDpiFunction(std::function<int(HWND)> f) {
    return std::exchange(DpiFunction(), std::move(f));
}

int WindowDpi(HWND window) {
    if (DpiFunction()) return DpiFunction()(window);
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
