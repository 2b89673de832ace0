// DLLs from System32 only: a planted DLL beside the exe is not loaded by name.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/SystemLibrary.h"

TEST(SystemLibrary, AfterTheRestrictionADllBesideTheExeIsNotLoadedByName) {
    const wchar_t name[] = L"tarnwick-planted-probe.dll";
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring beside = exe;
    beside = beside.substr(0, beside.find_last_of(L'\\') + 1) + name;
    ASSERT_NE(GetFileAttributesW(beside.c_str()), INVALID_FILE_ATTRIBUTES) << "build the probe";
    // Before: the exe's folder is searched first, as for every DLL that is not a KnownDLL.
    const HMODULE before = LoadLibraryExW(name, nullptr, 0);
    ASSERT_TRUE(before) << "the probe must be loadable by name before the restriction";
    FreeLibrary(before);

    ASSERT_TRUE(RestrictDllSearchToSystem32());
    SetLastError(0);
    EXPECT_FALSE(GetModuleHandleW(name)) << "unloaded";
    const HMODULE planted = LoadLibraryW(name);
    EXPECT_FALSE(planted) << "a DLL beside the exe was loaded by name";
    if (planted) FreeLibrary(planted);
    // What System32 holds is still found, by name and by the helper's full path.
    EXPECT_TRUE(LoadLibraryW(L"version.dll"));
    EXPECT_TRUE(LoadSystemLibrary(L"version.dll"));
    EXPECT_FALSE(LoadSystemLibrary(name));
}
