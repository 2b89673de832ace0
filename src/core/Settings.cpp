#include "core/Settings.h"

#include <memory>

#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Scoped.h"

namespace {
std::unique_ptr<TIniFile>& Store() {
    static std::unique_ptr<TIniFile> store;
    return store;
}
} // namespace

TIniFile& ConfigIni() {
    if (!Store()) OpenSettings();
    return *Store();
}

std::wstring ExecutableFolder() {
    std::wstring path = Application().ExeName();
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

void OpenSettings() {
    OpenSettingsAt(ExecutableFolder() + L"Config.ini");
}

void OpenSettingsAt(const std::wstring& path) {
    Store() = std::make_unique<TIniFile>(path);
}

TRunKey MachineRunKey() {
    return {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"};
}

std::wstring AutoRunCommand(const std::wstring& exePath) {
    if (exePath.find(L' ') == std::wstring::npos) return exePath;
    return L"\"" + exePath + L"\"";
}

void SetAutoRunValue(bool on, const TRunKey& where, const std::wstring& valueName,
                     const std::wstring& command) {
    // The key is never created: a system without it, or a user without rights on it, gets
    // the error instead of a key that Windows would not look at.
    ScopedRegKey key;
    const LONG opened =
        RegOpenKeyExW(where.Root, where.Path.c_str(), 0, KEY_ALL_ACCESS, key.Receive());
    if (!on) {
        if (opened == ERROR_SUCCESS) RegDeleteValueW(key.Get(), valueName.c_str());
        return;
    }
    const auto* data = reinterpret_cast<const BYTE*>(command.c_str());
    const DWORD size = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
    if (opened != ERROR_SUCCESS ||
        RegSetValueExW(key.Get(), valueName.c_str(), 0, REG_SZ, data, size) != ERROR_SUCCESS)
        throw Exception(L"Failed to set data for '" + valueName + L"'");
}

void SetAutoRun(bool on) {
    SetAutoRunValue(on, MachineRunKey(), Application().Title(),
                    AutoRunCommand(Application().ExeName()));
}
