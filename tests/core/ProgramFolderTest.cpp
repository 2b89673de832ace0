// The rule for a program started elevated at every logon: inside the program folders, and in a
// folder no ordinary user may change. Descriptors are built here as Windows would show them,
// since Wine's synthesized ones do not carry the program folders' real permissions.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>

#include <string>

#include "core/ProgramFolder.h"

namespace {

// The DACL of a descriptor given in SDDL.
class Dacl {
public:
    explicit Dacl(const wchar_t* sddl) {
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &FDescriptor,
                                                             nullptr);
        BOOL present = FALSE, defaulted = FALSE;
        if (FDescriptor) GetSecurityDescriptorDacl(FDescriptor, &present, &FAcl, &defaulted);
        if (!present) FAcl = nullptr;
    }
    ~Dacl() { LocalFree(FDescriptor); }
    Dacl(const Dacl&) = delete;
    Dacl& operator=(const Dacl&) = delete;
    const ACL* Get() const { return FAcl; }
    bool Built() const { return FDescriptor != nullptr; }

private:
    PSECURITY_DESCRIPTOR FDescriptor = nullptr;
    PACL FAcl = nullptr;
};

TEST(ProgramFolder, OnlyAFolderOrdinaryUsersCannotChangeIsSafe) {
    // %ProgramFiles%\App as Windows gives it: administrators, SYSTEM and TrustedInstaller may
    // change it, Users read and run.
    const wchar_t programFiles[] = L"D:(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-"
                                   L"1853292631-2271478464)(A;;FA;;;SY)(A;;FA;;;BA)"
                                   L"(A;;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)";
    struct Case {
        const wchar_t* Sddl;
        bool Open;
    } cases[] = {
        {programFiles, false},
        {L"D:(A;;FA;;;BA)(A;;0x1301bf;;;BU)", true},  // Users may modify
        {L"D:(A;;FA;;;BA)(A;;0x100004;;;AU)", true},  // Authenticated Users may append
        {L"D:(A;;FA;;;BA)(A;;WD;;;WD)", true},        // Everyone may rewrite the permissions
        {L"D:(A;;FA;;;BA)(A;;WO;;;IU)", true},        // INTERACTIVE may take ownership
        {L"D:(A;;FA;;;BA)(A;;SD;;;BU)", true},        // Users may delete it
        {L"D:(A;;FA;;;BA)(A;;GW;;;BU)", true},        // generic write
        {L"D:(A;;FA;;;BA)(A;;0x40;;;BU)", true},      // delete a child
        {L"D:(A;;FA;;;BA)(A;OICIIO;GA;;;BU)", false}, // only passed on, not the folder's own
        {L"D:(D;;FA;;;BU)(A;;FA;;;BA)", false},       // a denial grants nothing
        {L"D:(A;;FA;;;BA)(A;;FA;;;S-1-5-21-1-2-3-1001)", false}, // one named user: not anyone
    };
    for (const Case& c : cases) {
        Dacl dacl(c.Sddl);
        ASSERT_TRUE(dacl.Built()) << c.Sddl;
        EXPECT_EQ(OthersMayChange(dacl.Get()), c.Open) << c.Sddl;
    }
    EXPECT_TRUE(OthersMayChange(nullptr)) << "no DACL: everyone may";
}

TEST(ProgramFolder, AProgramOutsideTheProgramFoldersIsRefused) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring cause = UnsafeToStartElevatedCause(std::wstring(temp) + L"Tarnwick.exe");
    EXPECT_NE(cause.find(L"Program Files"), std::wstring::npos) << "says why";
    // Not fooled by a folder whose name only begins like the program folder's.
    wchar_t programFiles[MAX_PATH] = {};
    GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    EXPECT_NE(UnsafeToStartElevatedCause(std::wstring(programFiles) + L" Evil\\Tarnwick.exe"), L"");
    EXPECT_NE(UnsafeToStartElevatedCause(std::wstring(programFiles) + L"\\..\\Tarnwick.exe"), L"");
    EXPECT_EQ(ProgramFilesFolder(), std::wstring(programFiles) + L"\\Tarnwick\\");
}
// Wine shows a folder it made inside the program folders as Windows would: everyone may read and
// run, only the owner and SYSTEM change it. A DACL set on it is read back where Wine keeps it.
TEST(ProgramFolder, AFolderInsideTheProgramFoldersIsSafeUntilUsersMayWriteIt) {
    wchar_t programFiles[MAX_PATH] = {};
    GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    const std::wstring folder =
        std::wstring(programFiles) + L"\\TarnwickRule" + std::to_wstring(GetCurrentProcessId());
    const std::wstring exe = folder + L"\\Tarnwick.exe";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    HANDLE file = CreateFileW(exe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(UnsafeToStartElevatedCause(exe), L"");

    Dacl loosened(L"D:(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1301bf;;;BU)");
    ASSERT_TRUE(loosened.Built());
    const DWORD set = SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
                                            DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                            const_cast<ACL*>(loosened.Get()), nullptr);
    PACL now = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, &now, nullptr, &descriptor);
    const bool kept = set == ERROR_SUCCESS && OthersMayChange(now);
    LocalFree(descriptor);
    if (kept)
        EXPECT_NE(UnsafeToStartElevatedCause(exe), L"") << "Users may write the folder";
    else
        std::printf("note: Wine did not keep the DACL set on %ls\n", folder.c_str());
    DeleteFileW(exe.c_str());
    RemoveDirectoryW(folder.c_str());
}
} // namespace
