// Not a test: an empty Win32 message-loop program, the yardstick of the idle measurement.
// Shows a window, runs its loop for the given seconds and prints its threads' CPU time and
// wake-ups per second.
//   empty_loop [seconds]
#include <windows.h>

#include <cstdlib>

#include "ThreadFigures.h"

int main(int argc, char** argv) {
    const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 60;
    HWND window = CreateWindowExW(0, L"STATIC", L"empty", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_SHOW);
    const auto pump = [](DWORD milliseconds) {
        const ULONGLONG end = GetTickCount64() + milliseconds;
        for (ULONGLONG now; (now = GetTickCount64()) < end;) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now),
                                      QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    };
    pump(1000); // its first paint and activation
    const std::map<int, TThreadSample> before = SampleThreads();
    pump(seconds * 1000);
    PrintThreads("empty message loop", before, SampleThreads(), seconds);
    return 0;
}
