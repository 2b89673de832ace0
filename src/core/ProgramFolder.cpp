#include "core/ProgramFolder.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstring>
#include <iterator>
#include <utility>

#include "framework/Exception.h"
#include "framework/IniFile.h"
#include "framework/Strings.h"

namespace {
const wchar_t* const kOthersMayChange =
    L"Tarnwick 所在的文件夹允许其他用户修改，因此不能在开机时以管理员身份启动它。";

// What lets a user change a folder's files: write or add, append or add a folder, delete,
// delete a child, rewrite its permissions or owner, and the generic rights that include them.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE |
                                      FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL;

// NT SERVICE\TrustedInstaller, which owns what Windows itself installs: S-1-5-80-956008885-
// 3418522649-1831038044-1853292631-2271478464.
bool IsTrustedInstaller(PSID sid) {
    static constexpr DWORD kSubAuthorities[] = {80,         956008885,  3418522649,
                                                1831038044, 1853292631, 2271478464};
    const SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (*GetSidSubAuthorityCount(sid) != std::size(kSubAuthorities) ||
        std::memcmp(GetSidIdentifierAuthority(sid), &nt, sizeof nt) != 0)
        return false;
    for (DWORD i = 0; i < std::size(kSubAuthorities); ++i)
        if (*GetSidSubAuthority(sid, i) != kSubAuthorities[i]) return false;
    return true;
}

// SYSTEM, Administrators, TrustedInstaller: those who may change the system's programs.
bool IsAdministration(PSID sid) {
    return sid && IsValidSid(sid) &&
           (IsWellKnownSid(sid, WinLocalSystemSid) ||
            IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsTrustedInstaller(sid));
}

// Whether the entry lets anyone outside the administration change what it guards.
bool GrantsOthersChange(const ACE_HEADER* header) {
    const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: // the same layout, with a condition after the SID
        break;
    case ACCESS_ALLOWED_COMPOUND_ACE_TYPE:
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
        // Whom these name is not read here: any change right they allow counts as open.
        return (allowed->Mask & kChangeRights) != 0;
    default:
        return false; // denials, audits and labels allow nothing
    }
    if (!(allowed->Mask & kChangeRights)) return false;
    const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if (IsAdministration(sid)) return false;
    // CREATOR OWNER only passes rights on to what an administrator creates here.
    return !(IsWellKnownSid(sid, WinCreatorOwnerSid) && (header->AceFlags & INHERIT_ONLY_ACE));
}

TProgramFoldersFunction& ProgramFoldersOverride() {
    static TProgramFoldersFunction f;
    return f;
}

TReadSecurityFunction& ReadSecurityOverride() {
    static TReadSecurityFunction f;
    return f;
}

ScopedSecurityDescriptor ReadSecurity(const std::wstring& path) {
    if (ReadSecurityOverride()) return ReadSecurityOverride()(path);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    return ScopedSecurityDescriptor(descriptor);
}

bool OnlyAdministratorsMayChangePath(const std::wstring& path) {
    const ScopedSecurityDescriptor descriptor = ReadSecurity(path);
    return OnlyAdministratorsMayChange(descriptor.Get());
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

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The program folder path lies in, with every folder below it down to path's own; empty when
// it lies in none.
std::vector<std::wstring> FoldersDownTo(const std::wstring& path) {
    for (const std::wstring& root : ProgramFolders()) {
        if (!Inside(path, root)) continue;
        std::vector<std::wstring> folders{root};
        for (size_t at = path.find(L'\\', root.size() + 1); at != std::wstring::npos;
             at = path.find(L'\\', at + 1))
            folders.push_back(path.substr(0, at));
        return folders;
    }
    return {};
}

[[noreturn]] void RaiseLastError() {
    throw Exception(SystemErrorMessage(static_cast<long>(GetLastError())));
}

// The image the program started from, opened at start.
ScopedHandle& HeldImage() {
    static ScopedHandle image;
    return image;
}

// Writes the held image to path, a file made anew.
void WriteHeldImage(const std::wstring& path) {
    if (!HeldImage())
        throw Exception(L"Tarnwick 启动时未能锁定自身的程序文件，无法确认它未被替换。");
    ScopedHandle copy(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy) RaiseLastError();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(HeldImage().Get(), &size)) RaiseLastError();
    std::string buffer(64 * 1024, '\0');
    for (LONGLONG at = 0; at < size.QuadPart;) {
        // Read at an offset of its own: the handle's position belongs to no one.
        OVERLAPPED from{};
        from.Offset = static_cast<DWORD>(at);
        from.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD read = 0, written = 0;
        if (!ReadFile(HeldImage().Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                      &from))
            RaiseLastError();
        if (read == 0) throw Exception(SystemErrorMessage(ERROR_HANDLE_EOF));
        if (!WriteFile(copy.Get(), buffer.data(), read, &written, nullptr) || written != read)
            RaiseLastError();
        at += read;
    }
    if (!FlushFileBuffers(copy.Get())) RaiseLastError();
}

// Makes the folder with its own permissions: SYSTEM and Administrators change it, Users read
// and run it, nothing comes from the folder above. False when it already exists.
bool MakeProgramFolder(const std::wstring& folder) {
    ScopedSecurityDescriptor descriptor;
    PSECURITY_DESCRIPTOR received = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", SDDL_REVISION_1,
            &received, nullptr))
        RaiseLastError();
    descriptor.Reset(received);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    if (CreateDirectoryW(folder.c_str(), &attributes)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) RaiseLastError();
    return false;
}

// What the copy has made so far, taken away again unless it is kept.
class TMadeCopy {
public:
    explicit TMadeCopy(std::wstring folder) : FFolder(std::move(folder)) {}
    void FolderMade() { FFolderMade = true; }
    void FileMade(std::wstring path) { FFiles.push_back(std::move(path)); }
    // An earlier file moved aside to keptAt: put back should the copy fail, gone once it is made.
    void FileReplaced(std::wstring path, std::wstring keptAt) {
        FFiles.push_back(path);
        FReplaced.push_back({std::move(path), std::move(keptAt)});
    }
    void Keep() {
        for (const auto& replaced : FReplaced)
            DeleteFileW(replaced.second.c_str()); // one still running stays, unused
        Forget();
    }
    // Takes it away; answers the line the failure shows about it.
    std::wstring Undo() {
        std::wstring left;
        for (const std::wstring& file : FFiles)
            if (!DeleteFileW(file.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) left = file;
        for (const auto& [path, keptAt] : FReplaced)
            if (!MoveFileExW(keptAt.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) left = path;
        if (FFolderMade && !RemoveDirectoryW(FFolder.c_str())) left = FFolder;
        Forget();
        return left.empty() ? L"未做任何更改。" : L"无法还原“" + left + L"”。";
    }

private:
    void Forget() {
        FFiles.clear();
        FReplaced.clear();
        FFolderMade = false;
    }

    std::wstring FFolder;
    std::vector<std::wstring> FFiles;
    std::vector<std::pair<std::wstring, std::wstring>> FReplaced;
    bool FFolderMade = false;
};

void Rename(const std::wstring& from, const std::wstring& to) {
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        RaiseLastError();
}
} // namespace

bool OnlyAdministratorsMayChange(PSECURITY_DESCRIPTOR descriptor) {
    if (!descriptor) return false;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !IsAdministration(owner) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        // An entry that cannot be read may allow anything.
        if (!GetAce(dacl, i, &entry) || GrantsOthersChange(static_cast<ACE_HEADER*>(entry)))
            return false;
    }
    return true;
}

std::vector<std::wstring> ProgramFolders() {
    if (ProgramFoldersOverride()) return ProgramFoldersOverride()();
    std::vector<std::wstring> folders;
    for (const KNOWNFOLDERID* id : {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86}) {
        PWSTR path = nullptr;
        if (SUCCEEDED(SHGetKnownFolderPath(*id, KF_FLAG_DEFAULT, nullptr, &path)) && *path)
            folders.emplace_back(path);
        CoTaskMemFree(path);
    }
    return folders;
}

std::wstring ProgramFilesFolder(const std::wstring& name) {
    const std::vector<std::wstring> folders = ProgramFolders();
    return folders.empty() ? std::wstring() : folders.front() + L"\\" + name + L"\\";
}

std::wstring UnsafeToStartElevatedCause(const std::wstring& exePath) {
    const std::wstring path = FullPath(exePath);
    const std::vector<std::wstring> folders = FoldersDownTo(path);
    if (folders.empty())
        return L"Tarnwick 不在“Program Files”文件夹中，其他用户可以替换它，"
               L"因此不能在开机时以管理员身份启动它。";
    // The folders, the program and the settings it reads: none may be changed by another user.
    const std::wstring settings = folders.back() + L"\\Config.ini";
    for (const std::wstring& folder : folders)
        if (!OnlyAdministratorsMayChangePath(folder)) return kOthersMayChange;
    if (!OnlyAdministratorsMayChangePath(path) ||
        (Exists(settings) && !OnlyAdministratorsMayChangePath(settings)))
        return kOthersMayChange;
    return {};
}

void HoldOwnImage() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return;
        if (n < path.size()) return HoldImage(path.substr(0, n));
        path.resize(path.size() * 2);
    }
}

void HoldImage(const std::wstring& path) {
    HeldImage().Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsHeldImage(const std::wstring& path) {
    if (!HeldImage()) return false;
    // Opened for its attributes only, which the held image's sharing allows.
    const ScopedHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION held{}, other{};
    return file && GetFileInformationByHandle(HeldImage().Get(), &held) &&
           GetFileInformationByHandle(file.Get(), &other) &&
           held.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           held.nFileIndexHigh == other.nFileIndexHigh && held.nFileIndexLow == other.nFileIndexLow;
}

std::wstring CopyIntoProgramFiles(const std::function<void(TCustomIniFile&)>& writeSettings,
                                  const std::function<void(const std::wstring& exe)>& use,
                                  const std::wstring& folderName, TExistingSettings existing) {
    const std::wstring folder = ProgramFilesFolder(folderName);
    const std::wstring folderPath = folder.substr(0, folder.size() - 1);
    const std::wstring exe = folder + L"Tarnwick.exe", settings = folder + L"Config.ini";
    // Both are written beside their places first, so that a copy made earlier stays whole
    // until the new one is.
    const std::wstring freshExe = exe + L".copy", freshSettings = settings + L".copy";
    TMadeCopy made(folderPath);
    try {
        // Without the system's program folder the name would fall on the current drive's root.
        if (folder.empty()) throw Exception(SystemErrorMessage(ERROR_PATH_NOT_FOUND));
        if (MakeProgramFolder(folder))
            made.FolderMade();
        else if (!OnlyAdministratorsMayChangePath(folderPath))
            throw Exception(L"文件夹“" + folder +
                            L"”已存在，并且允许其他用户修改，因此不能将 Tarnwick 复制到其中。");
        // What stays as it is, the exe this copy runs from or a Config.ini kept, must be as
        // safe as what is made.
        const auto refuseOpen = [](const std::wstring& path) {
            if (!OnlyAdministratorsMayChangePath(path))
                throw Exception(L"文件“" + path + L"”允许其他用户修改，因此不能沿用它。");
        };
        std::vector<std::pair<const std::wstring*, const std::wstring*>> placed;
        // Started from the copy itself, it is already in place: nothing is written onto it.
        if (IsHeldImage(exe)) {
            refuseOpen(exe);
        } else {
            made.FileMade(freshExe);
            WriteHeldImage(freshExe);
            placed.push_back({&freshExe, &exe});
        }
        const DWORD kept = GetFileAttributesW(settings.c_str());
        if (existing == TExistingSettings::Keep && kept != INVALID_FILE_ATTRIBUTES &&
            !(kept & FILE_ATTRIBUTE_DIRECTORY)) {
            refuseOpen(settings);
        } else {
            made.FileMade(freshSettings);
            // Made empty first: nothing of an earlier file stays, and the file is there even
            // when no key is set.
            if (!ScopedHandle(CreateFileW(freshSettings.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)))
                RaiseLastError();
            TIniFile written(freshSettings);
            writeSettings(written);
            placed.push_back({&freshSettings, &settings});
        }
        // An earlier copy's files are moved aside, not overwritten: a later step that fails
        // puts them back.
        for (const auto& [fresh, path] : placed) {
            // A folder in the file's place is nothing to keep: the rename below fails on it.
            const DWORD attributes = GetFileAttributesW(path->c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                made.FileMade(*path);
            } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                Rename(*path, *path + L".old");
                made.FileReplaced(*path, *path + L".old");
            }
            Rename(*fresh, *path);
        }
        use(exe);
    } catch (const std::exception& e) {
        const std::wstring undone = made.Undo();
        const auto* own = dynamic_cast<const Exception*>(&e);
        Exception failure(ExceptionMessage(e) + L"\n" + undone);
        // A step that said what failed keeps its words.
        if (!own || !own->Described())
            failure.DescribeAs(L"无法将 Tarnwick 复制到“" + folder + L"”。");
        throw failure;
    }
    made.Keep();
    return exe;
}

TProgramFoldersFunction SetProgramFoldersFunction(TProgramFoldersFunction f) {
    return std::exchange(ProgramFoldersOverride(), std::move(f));
}

TReadSecurityFunction SetReadSecurityFunction(TReadSecurityFunction f) {
    return std::exchange(ReadSecurityOverride(), std::move(f));
}
