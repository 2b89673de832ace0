#pragma once
// A timer on the user-interface thread: OnTimer runs from the message loop every Interval
// milliseconds while the timer is enabled.
#include <windows.h>

#include "framework/Component.h"

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    unsigned Interval() const { return FInterval; }
    void SetInterval(unsigned interval);
    TNotifyEvent OnTimer;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Update();

    HWND FWindow = nullptr; // message-only, receives WM_TIMER
    bool FEnabled = true;
    // A handler that runs a modal loop (a message box) would otherwise be entered again by
    // the ticks that loop dispatches.
    bool FInHandler = false;
    unsigned FInterval = 1000;
};
