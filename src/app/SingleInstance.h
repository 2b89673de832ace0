#pragma once
// One instance per session. The first start holds a named mutex and a message-only window that
// takes the requests a later start may make; a later start hands its request over and ends. What
// crosses is exactly one of three requests, checked strictly: no text of the caller's is used.
// Any program of the session can make those names first, so a name proves nothing: a request
// goes only to a window whose process is a Tarnwick this one may trust, and an elevated start
// that finds none runs as the instance whoever holds the names.
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

    // Whether this process is the instance: it holds the mutex, or took the instance over from
    // names that no Tarnwick it trusts stands behind. Another process holding the mutex,
    // elevated or not, makes this one a later start.
    bool First() const { return FFirst; }
    // In a later start: hands the request to the instance, waiting up to waitMs for its window,
    // and answers the code this start ends with: 0 done, 1 failed or not taken (a Show nobody
    // took is 0). None when this start is the instance after all: it is elevated and no Tarnwick
    // it may trust took the request, so the names are held by another program or by a copy any
    // program of the user's could steer.
    std::optional<int> HandRequestOver(TInstanceRequest request, DWORD waitMs);
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
    bool FFirst = false;
    // Once taken over, the mutex is not ours to make: claiming again asks who listens.
    bool FTakenOver = false;
    HWND FWindow = nullptr;
    std::function<int64_t(TInstanceRequest)> FHandler;
};

// In a later start: hands the request to the running instance, waiting up to waitMs for a
// window of it that TrustedInstanceWindow passes (it may still be starting); answers 0 done,
// 1 failed, InstanceNotAnswering when that window is there but does not answer (hung), none
// when no such window took it.
std::optional<int> SendInstanceRequest(const std::wstring& name, TInstanceRequest request,
                                       DWORD waitMs);
constexpr int InstanceNotAnswering = -1;
// Whether a window of the instance that TrustedInstanceWindow passes is there to take requests.
bool InstanceListening(const std::wstring& name);

// Whether the process behind an instance's window is a Tarnwick this process may trust with a
// request and its answer: its image is this program's own, or a Tarnwick.exe where only
// administrators can put one (UnsafeToStartElevatedCause passes it); and, when this process is
// elevated, it runs elevated too, since any program of the user's can steer an unelevated one.
bool TrustedInstanceWindow(HWND window);
// Tests answer whether a window's process runs elevated (Wine runs every process elevated); an
// empty function asks its token. Answers the function replaced.
std::function<bool(HANDLE process)> SetInstanceElevatedFunction(std::function<bool(HANDLE)> f);
