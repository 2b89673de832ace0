#pragma once
// Timers without a window of their own: every TSimpleTimer of the process shares the one hidden
// window of TSimpleTimerHandler, made by the first timer and destroyed with the last. A tick
// already queued for a killed or destroyed timer still arrives, and finds nobody.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "framework/SharedWindow.h"

class TSimpleTimer;
using TSimpleTimerEvent = std::function<void(TSimpleTimer* sender)>;

class TSimpleTimerHandler : public TSharedWindow<TSimpleTimerHandler, UINT_PTR, TSimpleTimer> {
public:
    unsigned RunningCount() const { return FRunning; }

private:
    friend TSharedWindow;
    friend class TSimpleTimer;
    TSimpleTimerHandler();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    unsigned FRunning = 0;
};

class TSimpleTimer {
public:
    TSimpleTimer();
    TSimpleTimer(int interval, TSimpleTimerEvent onTimer);
    ~TSimpleTimer();
    TSimpleTimer(const TSimpleTimer&) = delete;
    TSimpleTimer& operator=(const TSimpleTimer&) = delete;

    // The platform timer's id; unique for the life of the process, never an address.
    UINT_PTR Id() const { return FId; }
    bool Enabled() const { return FEnabled; }
    // True starts, false stops and disables.
    void SetEnabled(bool enabled);
    int Interval() const { return FInterval; }
    // An enabled timer restarts with a new non-zero interval; 0 stops it and keeps it enabled.
    void SetInterval(int interval);
    // An empty handler stops an enabled timer and keeps it enabled.
    void SetOnTimer(TSimpleTimerEvent onTimer);
    // Set: the timer stops itself before a tick is delivered (a one-shot).
    bool AutoDisable() const { return FAutoDisable; }
    void SetAutoDisable(bool on) { FAutoDisable = on; }
    // Answers false for an interval of 0 or a failed SetTimer.
    bool Start();
    bool Stop(bool disable);

private:
    friend class TSimpleTimerHandler;
    void Tick();

    UINT_PTR FId;
    TSimpleTimerHandler& FHandler;
    bool FEnabled = false;
    bool FAutoDisable = false;
    int FInterval = 1000;
    TSimpleTimerEvent FOnTimer;
};
