#pragma once
#include <windows.h>

#include "framework/SharedWindow.h"

class TTrayIcon;

// The callback message of every tray icon.
constexpr UINT WM_TRAYNOTIFY = WM_USER + 0x400;

// The hidden window of all tray icons of the process: the hWnd of their records and the
// receiver of their callbacks and of the shell's "TaskbarCreated".
class TTrayIconHandler : public TSharedWindow<TTrayIconHandler, UINT, TTrayIcon> {
public:
    static UINT TaskbarCreatedMessage();
    // Whether the message filter lets "TaskbarCreated" through to the window.
    bool TaskbarCreatedAllowed() const { return FTaskbarCreatedAllowed; }

private:
    friend TSharedWindow;
    friend class TTrayIcon;
    TTrayIconHandler();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    bool FTaskbarCreatedAllowed = false;
};
