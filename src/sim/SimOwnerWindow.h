#pragma once
// The simulated machine's window on the thread that owns its adapters. Another thread has its
// work done there, as the adapters may be edited on that thread at any time between calls; and
// what comes a while after a link (a DHCP lease) is one of its timers.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

class TSimOwnerWindow {
public:
    TSimOwnerWindow(); // on the owner thread
    ~TSimOwnerWindow();
    TSimOwnerWindow(const TSimOwnerWindow&) = delete;
    TSimOwnerWindow& operator=(const TSimOwnerWindow&) = delete;

    // Runs work on the owner thread and answers once it ran: at once on that thread; from any
    // other, while the owner thread dispatches its messages. False when the owner thread did not
    // take it within timeoutMs (it will not run later), or the window is gone.
    bool RunOnOwner(const std::function<void()>& work, DWORD timeoutMs) const;

    // Calls then once on the owner thread after ms, in place of what was due under the same key.
    // Runs nothing when the window could not be made.
    void After(const std::wstring& key, DWORD ms, std::function<void()> then);
    void Cancel(const std::wstring& key);
    void CancelAll();

private:
    struct TJobs;
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Shared with callers on other threads, which may still wait while the window goes.
    std::shared_ptr<TJobs> FJobs;
    HWND FWindow = nullptr;
    DWORD FThread = 0;
    UINT_PTR FNextTimer = 1;
    struct TTimer {
        UINT_PTR Id;
        std::function<void()> Then;
    };
    std::map<std::wstring, TTimer> FTimers;
};
