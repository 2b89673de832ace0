#pragma once
// What the service does: applies one of the administrator's two profiles for any client of its
// pipe, and switches by itself when the cable moves, once for the whole machine. It lives on
// one thread with a message loop (the watcher's events, the network's answers and the pipe's
// requests all arrive as messages); the pipe's I/O thread only hands requests over.
#include <windows.h>

#include <deque>
#include <optional>
#include <mutex>
#include <string>
#include <utility>

#include "core/AutoSwitch.h"
#include "core/ServicePipe.h"
#include "core/SwitchResult.h"
#include "framework/Component.h"
#include "wmi/WmiSystemEvents.h"

class TSwitchService {
public:
    explicit TSwitchService(std::wstring pipeName);
    ~TSwitchService();
    TSwitchService(const TSwitchService&) = delete;
    TSwitchService& operator=(const TSwitchService&) = delete;

    // Serves the pipe and starts watching the network; false when the pipe cannot be served
    // (another process holds its name).
    bool Start();
    // The computer goes to sleep; any thread (the service's control handler calls it).
    void PostSuspending();
    // What a reconnect does; the host sets its clock.
    TAutoSwitch& AutoSwitch() { return FAutoSwitch; }
    // The state as the pipe answers it; change: what the answer tells of.
    TServiceState State(TServiceChange change = TServiceChange::None) const;

private:
    struct TRequest {
        TServiceRequestKind Kind;
        TServicePipeServer::TReply Reply;
    };
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ServeWaiting();
    void Answer(const TRequest& request);
    TSwitchResult RunSwitch(const std::wstring& profile, bool learn);
    // Counts the change and answers every client waiting for one; answers the state sent.
    TServiceState Publish(TServiceState state);
    void Publish(TServiceChange change) { Publish(State(change)); }

    TComponent FOwner;
    TWmiSystemEvents* FWatcher;
    TAutoSwitch FAutoSwitch;
    TServicePipeServer FPipe;
    HWND FWindow;
    std::mutex FLock;
    std::deque<TRequest> FWaiting; // guarded by FLock
    bool FSwitching = false;
    uint32_t FChangeCount = 0;
};
