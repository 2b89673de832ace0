#pragma once
// The second way of applying a profile: one hidden netsh process per setting, run against one
// network connection named by its connection name.
#include <windows.h>

#include <string>

// How long one netsh command may run before the switch counts as failed.
constexpr DWORD NetshTimeLimit = 120000;
// The longest command line the engine runs, in characters.
constexpr size_t NetshMaxCommandLine = 512;

// Applies profile "A" or "B" of Config.ini to the connection. Every command runs, in order;
// the answer is 0 when all of them succeeded, else the exit code of the first that failed,
// or -1 when it could not be started, was refused or ran past the time limit.
int NetshApplyProfile(const std::wstring& profile, const std::wstring& connectionName);
// Composes and runs the commands of one profile; the address is empty or "DHCP" for the
// automatic case. Answers as NetshApplyProfile.
int NetshSetAddress(const std::wstring& connectionName, const std::wstring& address,
                    const std::wstring& mask, const std::wstring& gateway,
                    const std::wstring& preferred, const std::wstring& alternate);
// Runs one command line hidden and waits for it; answers the exit code, or -1.
int RunAndWait(const std::wstring& commandLine, DWORD timeLimit = NetshTimeLimit);

// The program started for every command: netsh.exe of the system directory, never one found
// by searching, so a netsh.exe in the program's folder or the current directory is not run.
std::wstring NetshProgram();
// Points the engine at another program (the stand-in of tests and simulation mode); an
// empty path gives the system's netsh back.
void SetNetshProgram(const std::wstring& path);
