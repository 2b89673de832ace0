#include "widgets/TrayIconHandler.h"

#include <vector>

#include "framework/Application.h"
#include "widgets/TrayIcon.h"

namespace {
// A hidden top-level window, not a message-only one: it must hear the shell's broadcast
// "TaskbarCreated", and the menu's SetForegroundWindow needs a window that can be in front.
HWND CreateHandlerWindow(WNDPROC windowProc) {
    static const ATOM atom = [&] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = windowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TarnwickTrayIcons";
        return RegisterClassExW(&wc);
    }();
    return CreateWindowExW(WS_EX_TOOLWINDOW, MAKEINTATOM(atom), L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}
} // namespace

UINT TTrayIconHandler::TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

TTrayIconHandler::TTrayIconHandler()
    : TSharedWindow(CreateHandlerWindow(&TTrayIconHandler::WindowProc)) {
    // An elevated program does not hear broadcasts of a non-elevated Explorer otherwise, and
    // would lose its icon at every Explorer restart.
    FTaskbarCreatedAllowed =
        ChangeWindowMessageFilterEx(Window(), TaskbarCreatedMessage(), MSGFLT_ALLOW, nullptr);
}

LRESULT CALLBACK TTrayIconHandler::WindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    TTrayIconHandler* self = Of(window);
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_TRAYNOTIFY) {
        // Looked up among the live icons: wParam comes from whoever posted the message.
        if (TTrayIcon* icon = Find(window, static_cast<UINT>(wParam)))
            GuardedCall([&] { icon->Callback(static_cast<UINT>(lParam)); });
        return 0;
    }
    if (message == TaskbarCreatedMessage()) {
        // A copy: showing an icon may run code that adds or removes icons.
        std::vector<TTrayIcon*> icons;
        for (const auto& [id, icon] : self->Members())
            icons.push_back(icon);
        for (TTrayIcon* icon : icons)
            if (icon->IconVisible()) GuardedCall([&] { icon->ShowIcon(); });
        return 0;
    }
    switch (message) {
    // The window lives as long as there are icons: a close request or the end of the session
    // does not take it away. Its own destruction goes the ordinary way.
    case WM_CLOSE:
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
