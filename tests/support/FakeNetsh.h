#pragma once
// The stand-in netsh (tests/fakes/netsh) in place of the system's while the object lives: it
// appends each command line it is started with to the log and exits as told. At the end the
// engine runs what it ran before and every variable the stand-in reads is cleared, so nothing
// set for one test reaches the next.
#include <windows.h>

#include <string>

#include "core/NetshEngine.h"
#include "core/Settings.h"
#include "support/ScopedVariables.h"
#include "support/Seams.h"

class ScopedFakeNetsh {
public:
    explicit ScopedFakeNetsh(const std::wstring& log)
        : FProgram(&SetNetshProgram, Program()),
          FVariables({{L"TARNWICK_FAKE_NETSH_LOG", log},
                      {L"TARNWICK_FAKE_NETSH_EXIT", L""},
                      {L"TARNWICK_FAKE_NETSH_DELAY_MS", L""},
                      {L"TARNWICK_FAKE_NETSH_STARTUP", L""},
                      {L"TARNWICK_FAKE_NETSH_HANDLE", L""}}) {}
    ScopedFakeNetsh(const ScopedFakeNetsh&) = delete;
    ScopedFakeNetsh& operator=(const ScopedFakeNetsh&) = delete;

    // Its exit code, or one per call ("0,5,0"; the last repeats); none: 0.
    void SetExitCodes(const wchar_t* codes) {
        SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_EXIT", codes);
    }
    static std::wstring Program() { return ExecutableFolder() + L"fakes\\netsh\\netsh.exe"; }

private:
    ScopedSeam<std::wstring> FProgram;
    ScopedVariables FVariables;
};
