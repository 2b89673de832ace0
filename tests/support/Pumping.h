#pragma once
// Waiting in tests: message pumping with a time limit, for tests that wait for timers and
// callbacks, and a watchdog that ends a test program whose test hangs.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>

// Dispatches messages until done() or the limit passes; answers done().
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 3000) {
    const ULONGLONG until = GetTickCount64() + limitMs;
    while (!done()) {
        if (GetTickCount64() >= until) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

// Ends the test program when a test hangs, so a deadlock fails the run instead of stalling it.
class TWatchdog {
public:
    explicit TWatchdog(int seconds)
        : FThread([this, seconds] {
              std::unique_lock lock(FLock);
              if (!FDone.wait_for(lock, std::chrono::seconds(seconds), [this] { return FOver; })) {
                  std::fputs("watchdog: the test hung\n", stderr);
                  std::fflush(stderr);
                  TerminateProcess(GetCurrentProcess(), 3);
              }
          }) {}
    ~TWatchdog() {
        {
            std::lock_guard guard(FLock);
            FOver = true;
        }
        FDone.notify_all();
        FThread.join();
    }

private:
    std::mutex FLock;
    std::condition_variable FDone;
    bool FOver = false;
    std::thread FThread;
};
