#pragma once
// The second way of applying a profile: one hidden netsh process per setting, run against one
// network connection named by its connection name. It reads no settings: the switch hands it
// the profile and the connection.
#include <windows.h>

#include <functional>
#include <string>

#include "core/Settings.h"
#include "core/SwitchResult.h"

// How long one netsh command may run before the switch counts as failed.
constexpr DWORD NetshTimeLimit = 120000;
// The longest command line the engine runs, in characters.
constexpr size_t NetshMaxCommandLine = 512;

// Runs the commands of the profile against the connection, every one, in order: for DHCP
// "set address NAME dhcp" and "set dns NAME dhcp"; otherwise "set address NAME static A M G 1"
// (none for no gateway; the mask is DefaultMask when the profile has none), "set dns NAME
// static D1 validate=no" (or "static none") and "add dns NAME D2 validate=no" when given.
// A profile value that is no plain address (ProfileValueFault) runs nothing and fails with -1.
// Answers the first command that did not exit 0: netsh's exit code, or -1 when netsh could not
// be started or ran past the time limit. Whether the profile is in place is for the read-back
// to say: Windows' netsh exits 1 where the adapter already is as asked.
TSwitchResult NetshSwitchConnection(const std::wstring& connectionName, const TIpProfile& profile);

// How one netsh command ended.
struct TNetshRun {
    enum TKind { Exited, NotStarted, TimedOut } Kind = Exited;
    int ExitCode = 0; // when it exited
};
// Runs one command line in a console without a window, inheriting no handle, and waits for it, at
// most timeLimit milliseconds, while the thread's windows keep answering their messages.
TNetshRun RunNetsh(const std::wstring& commandLine, DWORD timeLimit = NetshTimeLimit);
// Tests see every run as it ends, to tell a start Wine failed from a command that failed;
// null: nobody. Answers the observer replaced.
using TNetshRunObserver =
    std::function<void(const std::wstring& commandLine, const TNetshRun& run)>;
TNetshRunObserver SetNetshRunObserver(TNetshRunObserver observer);
// The failure box's cause for a run that did not succeed: "netsh 无法启动", "netsh 返回 N" or
// "netsh 超时".
std::wstring NetshCause(const TNetshRun& run);

// The program started for every command: netsh.exe of the system directory, never one found
// by searching, so a netsh.exe in the program's folder or the current directory is not run.
std::wstring NetshProgram();
// Points the engine at another program (the stand-in of tests and simulation mode); an
// empty path gives the system's netsh back. Answers the path replaced.
std::wstring SetNetshProgram(std::wstring path);
