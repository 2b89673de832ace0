// Not a test: an empty Win32 message-loop program, the yardstick of the idle measurement.
// Shows a window, runs its loop for the given seconds and prints its threads' CPU time and
// its loop's wake-ups per second. With --exit-when-idle=FILE it ends instead at its loop's
// first idle pass and appends what Tarnwick.exe's option of that name does, for start-up.
//   empty_loop [seconds] | empty_loop --exit-when-idle=FILE
#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "ThreadFigures.h"
#include "framework/StartFigures.h"

int main(int argc, char** argv) {
    const std::string_view idleFlag = "--exit-when-idle=";
    const bool exitWhenIdle =
        argc > 1 && std::string_view(argv[1]).substr(0, idleFlag.size()) == idleFlag;
    const DWORD seconds = argc > 1 && !exitWhenIdle ? static_cast<DWORD>(std::atoi(argv[1])) : 60;
    HWND window = CreateWindowExW(0, L"STATIC", L"empty", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_SHOW);
    if (exitWhenIdle) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const std::string_view file = std::string_view(argv[1]).substr(idleFlag.size());
        // The bench names its files in plain ASCII.
        return WriteStartFigures(std::wstring(file.begin(), file.end())) ? 0 : 1;
    }
    PumpFor(1000); // its first paint and activation
    const auto before = SampleThreads();
    const unsigned wakeUps = PumpFor(seconds * 1000);
    PrintThreads("empty message loop", before, SampleThreads(), seconds, wakeUps);
    return 0;
}
