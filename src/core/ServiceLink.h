#pragma once
// The tray's side of an installed Tarnwick: its questions, asked of the service's own process
// alone, and the changes the service publishes, handed to the thread that listens as they come.
#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/ServicePipe.h"
#include "framework/Scoped.h"

// The process of the service of that name while it runs; none when it is not installed or not
// running. Asking takes no right a standard user lacks.
std::optional<DWORD> RunningServiceProcessId(const std::wstring& serviceName);

class TServiceLink {
public:
    TServiceLink(std::wstring serviceName, std::wstring pipeName);
    // Stops listening at once: a question in flight is cancelled, not waited for.
    ~TServiceLink();
    TServiceLink(const TServiceLink&) = delete;
    TServiceLink& operator=(const TServiceLink&) = delete;

    // The service's answer; none when it does not run or does not answer in timeoutMs.
    std::optional<TServiceState> Ask(TServiceRequestKind kind, DWORD timeoutMs) const;
    // The same, with this thread's windows answering their messages meanwhile.
    std::optional<TServiceState> AskDispatching(TServiceRequestKind kind, DWORD timeoutMs) const;
    // From now on every change the service publishes reaches changed on this thread, and after
    // the service was gone (stopped, restarted) its state once it answers again.
    void Listen(std::function<void(const TServiceState&)> changed);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ListenLoop();
    void Hand(const TServiceState& state);

    const std::wstring FServiceName, FPipeName;
    ScopedHandle FStop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HWND FWindow = nullptr;
    std::function<void(const TServiceState&)> FChanged;
    std::mutex FLock;
    std::deque<TServiceState> FChanges; // guarded by FLock
    std::thread FThread;
};
