#pragma once
// The second way of applying a profile: one hidden netsh process per setting, run against one
// network connection named by its connection name.
#include <windows.h>

#include <string>

#include "core/SwitchResult.h"

// How long one netsh command may run before the switch counts as failed.
constexpr DWORD NetshTimeLimit = 120000;
// The longest command line the engine runs, in characters.
constexpr size_t NetshMaxCommandLine = 512;

// Applies profile "A" or "B" of Config.ini to the connection. Every command runs, in order; a
// command that exits non-zero still succeeds when the adapter, read back through WMI, already
// shows what it asks for. The first failure is reported: netsh's exit code, or -1 when netsh
// could not be started, was refused or ran past the time limit.
TSwitchResult NetshSwitchProfile(const std::wstring& profile, const std::wstring& connectionName);
// The same, as its code alone.
int NetshApplyProfile(const std::wstring& profile, const std::wstring& connectionName);
// Composes and runs the commands of one profile; the address is empty or "DHCP" for the
// automatic case. Answers as NetshSwitchProfile.
TSwitchResult NetshSwitchAddress(const std::wstring& connectionName, const std::wstring& address,
                                 const std::wstring& mask, const std::wstring& gateway,
                                 const std::wstring& preferred, const std::wstring& alternate);
int NetshSetAddress(const std::wstring& connectionName, const std::wstring& address,
                    const std::wstring& mask, const std::wstring& gateway,
                    const std::wstring& preferred, const std::wstring& alternate);

// How one netsh command ended.
struct TNetshRun {
    enum TKind { Exited, NotStarted, TimedOut } Kind = Exited;
    int ExitCode = 0; // when it exited
};
// Runs one command line hidden and waits for it, at most timeLimit milliseconds.
TNetshRun RunNetsh(const std::wstring& commandLine, DWORD timeLimit = NetshTimeLimit);
// The exit code, or -1 when the command did not run to its end.
int RunAndWait(const std::wstring& commandLine, DWORD timeLimit = NetshTimeLimit);
// The failure box's cause for a run that did not succeed: "netsh 无法启动", "netsh 返回 N" or
// "netsh 超时".
std::wstring NetshCause(const TNetshRun& run);

// The program started for every command: netsh.exe of the system directory, never one found
// by searching, so a netsh.exe in the program's folder or the current directory is not run.
std::wstring NetshProgram();
// Points the engine at another program (the stand-in of tests and simulation mode); an
// empty path gives the system's netsh back.
void SetNetshProgram(const std::wstring& path);
