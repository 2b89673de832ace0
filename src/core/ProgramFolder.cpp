#include "core/ProgramFolder.h"

#include <aclapi.h>

#include "framework/Automation.h"
#include "framework/Strings.h"

namespace {
// What lets a user change a folder's files: write or add, append or add a folder, delete,
// delete a child, rewrite its permissions or owner, and the generic rights that include them.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE |
                                      FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL;

// Users, Authenticated Users, Everyone, INTERACTIVE.
bool IsOrdinaryUsers(PSID sid) {
    for (const WELL_KNOWN_SID_TYPE type :
         {WinBuiltinUsersSid, WinAuthenticatedUserSid, WinWorldSid, WinInteractiveSid})
        if (IsWellKnownSid(sid, type)) return true;
    return false;
}

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

// Whether path lies inside folder (both full paths; case does not count).
bool Inside(const std::wstring& path, std::wstring folder) {
    if (folder.empty()) return false;
    if (folder.back() != L'\\') folder += L'\\';
    return path.size() > folder.size() && SameText(path.substr(0, folder.size()), folder);
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return length && length < MAX_PATH ? std::wstring(full, length) : path;
}
} // namespace

bool OthersMayChange(const ACL* dacl) {
    if (!dacl) return true;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(const_cast<ACL*>(dacl), i, &entry)) continue;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        // An entry that only passes its rights on to what the folder holds is not the folder's.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & kChangeRights) &&
            IsOrdinaryUsers(const_cast<DWORD*>(&allowed->SidStart)))
            return true;
    }
    return false;
}

std::wstring ProgramFilesFolder() {
    return Environment(L"ProgramFiles") + L"\\Tarnwick\\";
}

namespace {
// Whether the DACL of the file or folder lets ordinary users change it; true when it cannot
// be read.
bool OthersMayChangePath(const std::wstring& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read =
        GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor);
    const bool open = read != ERROR_SUCCESS || OthersMayChange(dacl);
    if (descriptor) LocalFree(descriptor);
    return open;
}
} // namespace

std::wstring UnsafeToStartElevatedCause(const std::wstring& exePath) {
    const std::wstring path = FullPath(exePath);
    if (!Inside(path, Environment(L"ProgramFiles")) &&
        !Inside(path, Environment(L"ProgramFiles(x86)")))
        return L"Tarnwick 不在“Program Files”文件夹中，其他用户可以替换它，"
               L"因此不能在开机时以管理员身份启动它。";
    // The folder, the program and the settings it reads: none may be changed by another user.
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    const std::wstring settings = folder + L"\\Config.ini";
    const bool settingsThere = GetFileAttributesW(settings.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (OthersMayChangePath(folder) || OthersMayChangePath(path) ||
        (settingsThere && OthersMayChangePath(settings)))
        return L"Tarnwick 所在的文件夹允许其他用户修改，因此不能在开机时以管理员身份启动它。";
    return {};
}

std::wstring CopyIntoProgramFiles(const std::wstring& exePath) {
    const std::wstring folder = ProgramFilesFolder();
    const std::wstring copy = folder + L"Tarnwick.exe";
    if ((!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) ||
        !CopyFileW(exePath.c_str(), copy.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        EComError failure(SystemErrorMessage(static_cast<long>(error)), HRESULT_FROM_WIN32(error));
        failure.DescribeAs(L"无法将 Tarnwick 复制到“" + folder + L"”。");
        throw failure;
    }
    return copy;
}
