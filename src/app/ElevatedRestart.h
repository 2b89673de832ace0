#pragma once
// Starting this program again: as administrator, through the shell's "runas" verb (the consent
// prompt of UAC), with the switch the user asked for; or the copy in the program folder. A copy
// gets the program's own options, rebuilt from what this start parsed, never the caller's text.
#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <optional>
#include <string>

#include "app/Simulation.h"

// The parameters of the elevated copy: the simulation options of this start, then
// --switch=profile.
std::wstring ElevatedCopyParameters(const TSimulationOptions& options, const std::wstring& profile);
// Starts the copy; false when it did not start (the prompt refused or cancelled among others).
// The prompt is owned by owner, the window that asked: without one it may show only as a
// flashing taskbar button.
bool StartElevatedCopy(const TSimulationOptions& options, const std::wstring& profile, HWND owner);
// Runs a copy elevated with this start's simulation options and then parameters, this
// thread's windows answering meanwhile, and answers its exit code; none when it did not start
// (the prompt refused or cancelled among others).
std::optional<DWORD> RunElevatedCopy(const TSimulationOptions& options,
                                     const std::wstring& parameters, HWND owner);
// The shell call, replaced by tests (nullptr: ShellExecuteExW); answers the one replaced.
std::function<BOOL(SHELLEXECUTEINFOW*)>
SetShellExecuteFunction(std::function<BOOL(SHELLEXECUTEINFOW*)> f);
// Starts the program at exePath (a full path) with this start's simulation options, in its own
// folder; false when it did not start.
bool StartProgram(const std::wstring& exePath, const TSimulationOptions& options);
// The process creation of StartProgram, replaced by tests (nullptr: StartProcess, the path as
// the application name); answers the one replaced.
using TCreateProcess = std::function<bool(
    const std::wstring& application, const std::wstring& commandLine, const std::wstring& folder)>;
TCreateProcess SetCreateProcessFunction(TCreateProcess f);
