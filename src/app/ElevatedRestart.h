#pragma once
// Starting this program again as administrator, through the shell's "runas" verb (the consent
// prompt of UAC), with the options of this start and the switch the user asked for.
#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <string>

// This start's options as they were, each followed by a blank, a --switch among them left out.
std::wstring StartOptions(const std::wstring& commandLine);
// The parameters of the elevated copy: this start's options as they were (a --switch among
// them left out), then --switch=profile.
std::wstring ElevatedCopyParameters(const std::wstring& commandLine, const std::wstring& profile);
// Starts the copy; false when it did not start (the prompt refused or cancelled among others).
bool StartElevatedCopy(const std::wstring& profile);
// The shell call, replaced by tests (nullptr: ShellExecuteExW); answers the one replaced.
std::function<BOOL(SHELLEXECUTEINFOW*)>
SetShellExecuteFunction(std::function<BOOL(SHELLEXECUTEINFOW*)> f);
// Starts the program at exePath as this one was started, in its own folder; false when it did
// not start.
bool StartProgram(const std::wstring& exePath);
