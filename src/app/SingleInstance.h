#pragma once
// One instance per session. The first start holds a named mutex and a message-only window that
// takes the requests a later start may make; a later start hands its request over and ends. What
// crosses is exactly one of three requests, checked strictly: no text of the caller's is used.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

enum class TInstanceRequest : uint32_t { Show = 1, SwitchToA = 2, SwitchToB = 3 };

// The instance's name: simulation mode has one of its own, apart from a real one.
std::wstring InstanceName(bool simulated);

// The request of this start: --switch=A or --switch=B, Show without the option; none when the
// option has any other value.
std::optional<TInstanceRequest> ParseStartRequest(const std::wstring& commandLine);
// "A" or "B" for a switch request, empty for Show.
std::wstring RequestedProfile(TInstanceRequest request);

// The request a WM_COPYDATA carries, when it is one: its tag, its size, its form and its value.
std::optional<TInstanceRequest> InstanceRequestOf(const COPYDATASTRUCT* data);

class TSingleInstance {
public:
    explicit TSingleInstance(const std::wstring& name);
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // Whether this process is the instance: it holds the mutex. Another process holding it,
    // elevated or not, makes this one a later start.
    bool First() const { return FMutex != nullptr; }
    // In the instance: takes requests from now on, on this thread. The handler answers 0 for a
    // request done, anything else for one that failed; it must not throw.
    void Listen(std::function<int64_t(TInstanceRequest)> handler);
    // Gives the instance up (before starting an elevated copy), and takes it again when that
    // copy did not start; Claim answers whether it could.
    void Release();
    bool Claim();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::wstring FName;
    HANDLE FMutex = nullptr;
    HWND FWindow = nullptr;
    std::function<int64_t(TInstanceRequest)> FHandler;
};

// In a later start: hands the request to the running instance, waiting up to waitMs for its
// window (it may still be starting); answers 0 done, 1 failed, InstanceNotAnswering when its
// window is there but does not answer (hung), none when nobody took it.
std::optional<int> SendInstanceRequest(const std::wstring& name, TInstanceRequest request,
                                       DWORD waitMs);
constexpr int InstanceNotAnswering = -1;
// Whether the instance's window is there to take requests.
bool InstanceListening(const std::wstring& name);
