#pragma once
// Where a program that Windows starts elevated at every logon may live: a file that someone
// without administrator rights could replace would run with an administrator's rights.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "core/ServiceNames.h"
#include "framework/CustomIniFile.h"
#include "framework/Scoped.h"

// A security descriptor the system allocated for the caller (LocalFree).
using ScopedSecurityDescriptor = ScopedWin32<NullInvalidTraits<PSECURITY_DESCRIPTOR, &LocalFree>>;

// Why the exe may not be started elevated at logon, in the user's words; empty when it may:
// it lies inside one of the system's program folders, and that folder, every folder below it
// down to the exe's, the exe and the Config.ini beside it (when there is one) can be changed
// by administrators alone.
std::wstring UnsafeToStartElevatedCause(const std::wstring& exePath);
// Whether only SYSTEM, Administrators and TrustedInstaller may change what the descriptor
// guards: one of them owns it, and every entry that allows writing, appending, deleting,
// deleting a child, rewriting the permissions or the owner (or the generic rights that hold
// them) names one of them, or CREATOR OWNER when it is only passed on. No DACL lets everyone.
bool OnlyAdministratorsMayChange(PSECURITY_DESCRIPTOR descriptor);

// The system's program folders (Program Files and, on a 64-bit system, Program Files (x86)),
// as the known-folder API gives them, without a trailing separator. Never the environment's
// %ProgramFiles%: an unelevated program can set that for the elevated copies to come.
std::vector<std::wstring> ProgramFolders();
// The folder the program is copied into when it is started from elsewhere:
// <Program Files>\<name>\, with its trailing separator; empty when the system names none.
std::wstring ProgramFilesFolder(const std::wstring& name = ProgramFolderName(false));

// Opens the program's own image for reading, sharing it for reading only, so that nobody can
// replace, rename or rewrite it while the program runs. Called first thing at start: the copy
// into the program folder is made from this handle, never from the file name.
void HoldOwnImage();
// Holds the file at path as the image instead (tests, which run as another program).
void HoldImage(const std::wstring& path);
// Whether the file at path is the held image itself (by the file's identity, not its name):
// the program runs from there.
bool IsHeldImage(const std::wstring& path);

// What the copy does with a Config.ini that is already in the program folder.
enum class TExistingSettings { Replace, Keep };

// Makes the copy that starts at logon in ProgramFilesFolder(folderName), then has use register
// what starts it, and answers the copy's exe. The folder is made with permissions of its own
// (administrators change it, users read and run it, nothing inherited); one that already
// exists must pass the rule above. The exe is written from the held image, unless the held
// image is that exe already, and writeSettings fills the Config.ini written beside it (with
// Keep, only when there is none yet). Raises with the cause when a step fails, use included;
// what was made is gone again then, and the message says so.
std::wstring CopyIntoProgramFiles(const std::function<void(TCustomIniFile&)>& writeSettings,
                                  const std::function<void(const std::wstring& exe)>& use,
                                  const std::wstring& folderName = ProgramFolderName(false),
                                  TExistingSettings existing = TExistingSettings::Replace);

// Seams for tests, which cannot make the system's folders or their permissions what a case
// needs under Wine. Each setter answers what it replaced; an empty function restores the
// system's own.
using TProgramFoldersFunction = std::function<std::vector<std::wstring>()>;
TProgramFoldersFunction SetProgramFoldersFunction(TProgramFoldersFunction f);
// The owner and DACL of a file or folder; empty when they cannot be read.
using TReadSecurityFunction = std::function<ScopedSecurityDescriptor(const std::wstring& path)>;
TReadSecurityFunction SetReadSecurityFunction(TReadSecurityFunction f);
