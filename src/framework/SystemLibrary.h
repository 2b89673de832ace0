#pragma once
// DLLs from System32 only. A DLL that is not a KnownDLL is otherwise looked for first in the
// exe's folder, also when system code loads it by name: one saved beside Tarnwick.exe in
// Downloads would run with an administrator's rights.
#include <windows.h>

// From now on every DLL this process loads by name, also through system code, comes from
// System32 (SetDefaultDllDirectories). Windows 7 has the function only with KB2533623; without
// it, the current folder at least leaves the search. Answers whether the search is System32's
// alone.
bool RestrictDllSearchToSystem32();
// Loads the DLL of that file name from System32 by its full path; null when it cannot.
HMODULE LoadSystemLibrary(const wchar_t* fileName);
