// Not a test: how often the idle program wakes up, beside an empty message loop. Prints the
// wake-ups and WM_TIMER messages per second of each, measured one after the other in this
// process: first a bare window with its loop, then Tarnwick's main window in simulation mode
// with a configured Config.ini (so it goes to the tray), the pointer away from the icon.
//   tray_idle_bench [seconds]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "SimulatedTray.h"

namespace {

struct Figures {
    double WakeUps = 0;
    double Timers = 0;
};

// A message loop that runs for the given time without a timer of its own.
Figures Measure(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    unsigned wakeUps = 0, timers = 0;
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) break;
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT) !=
            WAIT_OBJECT_0)
            continue;
        ++wakeUps;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_TIMER) ++timers;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    const double seconds = milliseconds / 1000.0;
    return {wakeUps / seconds, timers / seconds};
}

void Print(const char* what, const Figures& f) {
    std::printf("%-44s %8.2f wake-ups/s %8.2f WM_TIMER/s\n", what, f.WakeUps, f.Timers);
}

} // namespace

int main(int argc, char** argv) {
    const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 10;
    SetCursorPos(5, 5);

    HWND bare = CreateWindowExW(0, L"STATIC", L"empty", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(bare, SW_SHOW);
    Measure(500); // its first paint and activation
    Print("empty Win32 message loop", Measure(seconds * 1000));
    DestroyWindow(bare);

    {
        TSimulatedTray tarnwick;
        Measure(1000); // start-up: the window goes to the tray
        Print("Tarnwick, idle in the tray (goal: 2.5 ticks)", Measure(seconds * 1000));
    }
    return 0;
}
