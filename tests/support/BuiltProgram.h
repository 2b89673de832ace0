#pragma once
// The Tarnwick.exe built beside the test programs, copied alone into a test's folder and run
// there until it ends.
#include <windows.h>

#include <string>

#include "core/Settings.h"
#include "framework/Scoped.h"
#include "support/TempFolder.h"

// The program built beside this test program's folder.
inline std::wstring BuiltTarnwick() {
    return ExecutableFolder() + L"..\\src\\app\\Tarnwick.exe";
}

// Runs the copy in the folder with that command line (its first word is the program's name as
// the caller gives it) and answers its exit code: -1 when it has not ended within 30 s, -2 when
// it could not be started.
inline long RunCopyUntilEnd(const TempFolder& folder, std::wstring commandLine) {
    const std::wstring exe = folder.File(L"Tarnwick.exe");
    if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES &&
        !CopyFileW(BuiltTarnwick().c_str(), exe.c_str(), FALSE))
        return -2;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.Path().c_str(), &startup, &process))
        return -2;
    const ScopedHandle thread(process.hThread), running(process.hProcess);
    // The instance's messages (a stand-in netsh's hand-over among them) are served meanwhile.
    const ULONGLONG until = GetTickCount64() + 30000;
    while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 100, QS_ALLINPUT) !=
           WAIT_OBJECT_0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        if (GetTickCount64() >= until) {
            TerminateProcess(running.Get(), 1);
            return -1;
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(running.Get(), &code);
    return static_cast<long>(code);
}
