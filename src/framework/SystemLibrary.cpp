#include "framework/SystemLibrary.h"

#include <string>

bool RestrictDllSearchToSystem32() {
    // Looked up, not imported: a Windows 7 without the update would not start at all.
    using TSetDefault = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<TSetDefault>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
    SetDllDirectoryW(L"");
    return false;
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
    wchar_t folder[MAX_PATH];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    return LoadLibraryW((std::wstring(folder, n) + L"\\" + fileName).c_str());
}
