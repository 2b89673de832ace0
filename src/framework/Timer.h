#pragma once
// A timer on the user-interface thread: OnTimer runs from the message loop every Interval
// milliseconds while the timer is enabled. All timers share one hidden window.
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
    friend class TTimerWindow;
    void Update();

    const UINT_PTR FId; // the platform timer's id, unique for the life of the process
    const HWND FWindow; // the shared window that receives WM_TIMER
    bool FEnabled = true;
    // A handler that runs a modal loop (a message box) would otherwise be entered again by
    // the ticks that loop dispatches.
    bool FInHandler = false;
    unsigned FInterval = 1000;
};
