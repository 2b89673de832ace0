// Not a test: an empty Win32 message-loop program, the yardstick of the idle measurement.
// Shows a window, runs its loop for the given seconds and prints its threads' CPU time and
// its loop's wake-ups per second.
//   empty_loop [seconds]
#include <windows.h>

#include <cstdlib>

#include "ThreadFigures.h"

int main(int argc, char** argv) {
    const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 60;
    HWND window = CreateWindowExW(0, L"STATIC", L"empty", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_SHOW);
    PumpFor(1000); // its first paint and activation
    const auto before = SampleThreads();
    const unsigned wakeUps = PumpFor(seconds * 1000);
    PrintThreads("empty message loop", before, SampleThreads(), seconds, wakeUps);
    return 0;
}
