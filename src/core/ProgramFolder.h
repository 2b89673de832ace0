#pragma once
// Where a program that Windows starts elevated at every logon may live: a file that someone
// without administrator rights could replace would run with an administrator's rights.
#include <windows.h>

#include <string>

// Why the exe may not be started elevated at logon, in the user's words; empty when it may:
// it lies inside the system's program folders (%ProgramFiles%, %ProgramFiles(x86)%) and its own
// folder lets no ordinary user write, append, delete or take it over.
std::wstring UnsafeToStartElevatedCause(const std::wstring& exePath);
// Whether a folder with this DACL lets Users, Authenticated Users, Everyone or INTERACTIVE
// change what it holds (a missing DACL lets everyone).
bool OthersMayChange(const ACL* dacl);
// The folder the program is copied into when it is started from elsewhere:
// %ProgramFiles%\Tarnwick\, with its trailing separator.
std::wstring ProgramFilesFolder();
// Copies the exe into ProgramFilesFolder (made when missing) and answers the copy's path.
// Raises "无法将 Tarnwick 复制到…" with the system's reason when it cannot.
std::wstring CopyIntoProgramFiles(const std::wstring& exePath);
