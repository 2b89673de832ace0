// A stand-in for the platform's netsh: it records how it was called and exits with the code it
// is told. Started by a process with a simulated netsh receiver, it first hands the command to
// it (the simulated adapters change as Windows' would) and, told no code, exits with its
// answer. Told through its environment:
//   TARNWICK_FAKE_NETSH_LOG       file its command line is appended to, one UTF-8 line per call
//   TARNWICK_FAKE_NETSH_EXIT      exit code, or one code per call ("0,5,0"; the last repeats)
//   TARNWICK_FAKE_NETSH_DELAY_MS  how long to run before exiting
//   TARNWICK_FAKE_NETSH_STARTUP   file that gets one line per call on how it was started:
//                                 "flags=<STARTUPINFO dwFlags, hex> show=<wShowWindow>
//                                 console=<window|none> processes=<sharing the console>
//                                 inherited=<yes|no>"
//   TARNWICK_FAKE_NETSH_HANDLE    an inheritable handle (hex) of a section of the parent's that
//                                 holds this text: "inherited" tells whether this process
//                                 holds it too
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

#include "framework/Environment.h"
#include "framework/Scoped.h"
#include "framework/TextFile.h"
#include "sim/SimNetsh.h"

namespace {

// The calls made so far are the lines already in the log.
int CallsLogged(const std::wstring& log) {
    ScopedHandle file(CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return 0;
    int lines = 0;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        for (DWORD i = 0; i < read; ++i)
            lines += chunk[i] == '\n';
    return lines;
}

// The code for call number `call` (from 0) of the list "a,b,c".
int ExitCodeFor(const std::wstring& codes, int call) {
    size_t start = 0;
    for (int i = 0; i < call; ++i) {
        const size_t comma = codes.find(L',', start);
        if (comma == std::wstring::npos) break;
        start = comma + 1;
    }
    return _wtoi(codes.c_str() + start);
}

// Whether the parent's section of that handle value came along: its view holds the value's own
// text. A value this process uses for something of its own is no such section.
bool Inherited(const std::wstring& value) {
    if (value.empty()) return false;
    const auto handle =
        reinterpret_cast<HANDLE>(static_cast<uintptr_t>(wcstoull(value.c_str(), nullptr, 16)));
    const size_t bytes = (value.size() + 1) * sizeof(wchar_t);
    const void* view = MapViewOfFile(handle, FILE_MAP_READ, 0, 0, bytes);
    if (!view) return false;
    const bool marked = memcmp(view, value.c_str(), bytes) == 0;
    UnmapViewOfFile(view);
    return marked;
}

// How this process was started: the parent asked for a hidden window, and a console of its
// own is shared with no other process.
std::wstring StartupLine() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    DWORD processes[8];
    wchar_t flags[16];
    swprintf(flags, 16, L"%lx", static_cast<unsigned long>(startup.dwFlags));
    return L"flags=" + std::wstring(flags) + L" show=" + std::to_wstring(startup.wShowWindow) +
           L" console=" + (GetConsoleWindow() ? L"window" : L"none") + L" processes=" +
           std::to_wstring(GetConsoleProcessList(processes, 8)) + L" inherited=" +
           (Inherited(EnvironmentVariable(L"TARNWICK_FAKE_NETSH_HANDLE")) ? L"yes" : L"no");
}

} // namespace

int wmain() {
    if (const std::wstring startup = EnvironmentVariable(L"TARNWICK_FAKE_NETSH_STARTUP");
        !startup.empty())
        AppendTextLine(startup, StartupLine());
    const std::wstring log = EnvironmentVariable(L"TARNWICK_FAKE_NETSH_LOG");
    const int call = log.empty() ? 0 : CallsLogged(log);
    if (!log.empty()) AppendTextLine(log, GetCommandLineW());
    if (const std::wstring delay = EnvironmentVariable(L"TARNWICK_FAKE_NETSH_DELAY_MS");
        !delay.empty())
        Sleep(static_cast<DWORD>(_wtoi(delay.c_str())));
    const std::optional<int> applied =
        SimForwardNetshCommand(SimNetshReceiverOfParent(false), GetCommandLineW());
    const std::wstring codes = EnvironmentVariable(L"TARNWICK_FAKE_NETSH_EXIT");
    if (codes.empty() && applied) return *applied;
    return ExitCodeFor(codes, call);
}
