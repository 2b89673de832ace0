#pragma once
// Command lines as Windows splits them (CommandLineToArgvW) and as they are put together again,
// so that what one program composes another reads back argument for argument; a program
// started with one, and the file a running process was started from.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

// The arguments of a command line, the program's own name first; none when it cannot be split.
std::vector<std::wstring> CommandLineArguments(const std::wstring& commandLine);
// Whether one of the arguments after the program's name is exactly arg.
bool HasArgument(const std::wstring& commandLine, std::wstring_view arg);

// One argument quoted so that CommandLineArguments gives it back unchanged: in double quotes
// when it is empty or holds a blank, a tab or a quote (or always, when asked), with the quotes
// inside and the backslashes before them escaped.
std::wstring QuotedArgument(std::wstring_view arg, bool always = false);

// Starts the program at application, a full path (nothing is searched for, and a path with
// blanks cannot start C:\Program.exe instead), with that command line, in folder (empty: this
// process's current one), inheriting no handles; answers whether it started.
bool StartProcess(const std::wstring& application, const std::wstring& commandLine,
                  const std::wstring& folder = {});

// The full path of the file the process runs (PROCESS_QUERY_LIMITED_INFORMATION is enough);
// empty when it cannot be read.
std::wstring ProcessImagePath(HANDLE process);
