// The rule for a program started elevated at every logon: inside the system's program folders,
// where administrators alone may change the folders, the exe and its Config.ini; and the copy
// into the program folder, made from what was checked. Wine keeps no DACL set on a file or
// folder reliably and shows its own folders as owned by the user, so descriptors are built
// from SDDL as Windows would show them and handed to the rule, or read through its seam.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ProgramFolder.h"
#include "framework/Exception.h"
#include "framework/IniFile.h"
#include "support/FolderSecurity.h"
#include "support/Seams.h"
#include "support/TempFolder.h"

namespace {

TEST(ProgramFolder, OnlyWhatAdministratorsAloneMayChangeIsSafe) {
    struct Case {
        std::wstring Sddl;
        bool Safe;
    } cases[] = {
        {kProgramFiles, true},
        {L"O:SYD:(A;;FA;;;SY)(D;;FA;;;BU)", true},        // a denial allows nothing
        {L"O:BAD:(A;;FA;;;BA)(A;;0x1301bf;;;BU)", false}, // Users may modify
        {L"O:BAD:(A;;FA;;;BA)(A;;0x100004;;;AU)", false}, // Authenticated Users may append
        {L"O:BAD:(A;;FA;;;BA)(A;;WD;;;WD)", false},       // Everyone may rewrite permissions
        {L"O:BAD:(A;;FA;;;BA)(A;;WO;;;IU)", false},       // INTERACTIVE may take ownership
        {L"O:BAD:(A;;FA;;;BA)(A;;SD;;;BU)", false},       // Users may delete it
        {L"O:BAD:(A;;FA;;;BA)(A;;GW;;;BU)", false},       // generic write
        {L"O:BAD:(A;;FA;;;BA)(A;;0x40;;;BU)", false},     // delete a child
        {L"O:BAD:(A;;FA;;;BA)(A;OICIIO;GA;;;BU)", false}, // passed on to all it will hold
        {L"O:BAD:(A;;FA;;;BA)(A;;FA;;;CO)", false},       // CREATOR OWNER on the folder itself
        {L"O:BAD:(A;;FA;;;BA)(A;;0x1301bf;;;S-1-5-21-1-2-3-1001)", false}, // one named user
        {L"O:BAD:(A;;FA;;;BA)(A;;FA;;;S-1-5-32-547)", false},              // Power Users
        {L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;BA)(A;;FA;;;SY)", false},       // a user owns it
        {L"D:(A;;FA;;;BA)", false},                                        // no owner
        {L"O:BA", false},                                                  // no DACL at all
    };
    for (const Case& c : cases) {
        const ScopedSecurityDescriptor descriptor = FromSddl(c.Sddl);
        ASSERT_TRUE(descriptor) << std::string(c.Sddl.begin(), c.Sddl.end());
        EXPECT_EQ(OnlyAdministratorsMayChange(descriptor.Get()), c.Safe)
            << std::string(c.Sddl.begin(), c.Sddl.end());
    }
    EXPECT_FALSE(OnlyAdministratorsMayChange(nullptr)) << "unreadable: open";
}

// Wine's SDDL reader makes an empty DACL of "D:NO_ACCESS_CONTROL", and Wine makes no object
// entries: these are built by hand.
TEST(ProgramFolder, ANullDaclOrAnEntryOfAnotherLayoutIsOpen) {
    BYTE administrators[SECURITY_MAX_SID_SIZE], users[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
    size = sizeof users;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size));
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorOwner(&descriptor, administrators, FALSE);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    EXPECT_FALSE(OnlyAdministratorsMayChange(&descriptor)) << "a null DACL lets everyone";

    alignas(DWORD) BYTE buffer[256];
    auto* dacl = reinterpret_cast<ACL*>(buffer);
    InitializeAcl(dacl, sizeof buffer, ACL_REVISION_DS);
    AddAccessAllowedAce(dacl, ACL_REVISION_DS, FILE_ALL_ACCESS, administrators);
    SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE);
    EXPECT_TRUE(OnlyAdministratorsMayChange(&descriptor));
    // Users may rewrite the permissions: header, mask, flags (no object types), then the SID.
    alignas(DWORD) BYTE entry[sizeof(ACE_HEADER) + 2 * sizeof(DWORD) + SECURITY_MAX_SID_SIZE] = {};
    const WORD entrySize = static_cast<WORD>(sizeof(ACE_HEADER) + 2 * sizeof(DWORD) + size);
    *reinterpret_cast<ACE_HEADER*>(entry) = {ACCESS_ALLOWED_OBJECT_ACE_TYPE, 0, entrySize};
    *reinterpret_cast<DWORD*>(entry + sizeof(ACE_HEADER)) = WRITE_DAC;
    CopySid(size, entry + sizeof(ACE_HEADER) + 2 * sizeof(DWORD), users);
    ASSERT_TRUE(AddAce(dacl, ACL_REVISION_DS, MAXDWORD, entry, entrySize));
    EXPECT_FALSE(OnlyAdministratorsMayChange(&descriptor)) << "an object entry allowing a change";
}

// A program folder of the test's own, whose permissions are what the case says.
class ProgramFolderRule : public ::testing::Test {
protected:
    void SetUp() override { CreateDirectoryW(root.c_str(), nullptr); }
    // A file of the program folder's tree, made on disk with its folders.
    std::wstring Make(const std::wstring& relative, const std::string& bytes = "MZ") {
        std::wstring path = root;
        for (size_t at = relative.find(L'\\'); at != std::wstring::npos;
             at = relative.find(L'\\', at + 1))
            CreateDirectoryW((root + L"\\" + relative.substr(0, at)).c_str(), nullptr);
        path += L"\\" + relative;
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        return path;
    }
    std::string Contents(const std::wstring& path) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "(none)";
        std::string bytes(4096, '\0');
        DWORD read = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(file);
        return bytes.substr(0, read);
    }
    static bool Exists(const std::wstring& path) {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    TempFolder temp;
    const std::wstring root = temp.File(L"Programs");
    // Paths whose permissions are not those of the program folders, and every path asked.
    std::map<std::wstring, std::wstring> loosened;
    std::vector<std::wstring> asked;
    const ScopedSeam<TProgramFoldersFunction> folders{
        &SetProgramFoldersFunction, [this] { return std::vector<std::wstring>{root}; }};
    const ScopedSeam<TReadSecurityFunction> security{
        &SetReadSecurityFunction, [this](const std::wstring& path) {
            asked.push_back(path);
            const auto found = loosened.find(path);
            return FromSddl(found == loosened.end() ? kProgramFiles : found->second);
        }};
};

TEST_F(ProgramFolderRule, EveryFolderFromTheProgramFolderDownTheExeAndItsSettingsAreChecked) {
    const std::wstring exe = Make(L"Tarnwick\\bin\\Tarnwick.exe");
    EXPECT_EQ(UnsafeToStartElevatedCause(exe), L"");
    EXPECT_EQ(asked, (std::vector<std::wstring>{root, root + L"\\Tarnwick",
                                                root + L"\\Tarnwick\\bin", exe}))
        << "no Config.ini there: not asked";

    const std::wstring settings = Make(L"Tarnwick\\bin\\Config.ini", "[NET]\r\n");
    for (const std::wstring& open :
         {root, root + L"\\Tarnwick", root + L"\\Tarnwick\\bin", exe, settings}) {
        loosened = {{open, kUsersModify}};
        EXPECT_NE(UnsafeToStartElevatedCause(exe).find(L"允许其他用户修改"), std::wstring::npos)
            << std::string(open.begin(), open.end());
    }
    // The exe's own folder: one named user may write it; or a user owns it.
    for (const wchar_t* sddl : {L"O:BAD:(A;;FA;;;BA)(A;;0x1301bf;;;S-1-5-21-1-2-3-1001)",
                                L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;BA)(A;;FA;;;SY)"}) {
        loosened = {{root + L"\\Tarnwick\\bin", sddl}};
        EXPECT_NE(UnsafeToStartElevatedCause(exe), L"");
    }
}

TEST_F(ProgramFolderRule, OutsideTheProgramFoldersNothingPasses) {
    for (const std::wstring& exe :
         {temp.File(L"Tarnwick.exe"), root + L" Evil\\Tarnwick.exe", root + L"\\..\\Tarnwick.exe",
          root + L"\\..\\Programs Evil\\Tarnwick.exe"}) {
        EXPECT_NE(UnsafeToStartElevatedCause(exe).find(L"Program Files"), std::wstring::npos)
            << std::string(exe.begin(), exe.end());
    }
    EXPECT_EQ(ProgramFilesFolder(), root + L"\\Tarnwick\\");
}

// %ProgramFiles% is the user's to set for the elevated copies to come: it chooses nothing.
TEST(ProgramFolder, TheEnvironmentDoesNotSayWhereTheProgramFolderIs) {
    TempFolder temp;
    const std::wstring planted = temp.Path().substr(0, temp.Path().size() - 1);
    const wchar_t* const names[] = {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"};
    std::vector<std::wstring> before;
    for (const wchar_t* name : names) {
        wchar_t value[MAX_PATH] = {};
        before.push_back(GetEnvironmentVariableW(name, value, MAX_PATH) ? value : L"");
        SetEnvironmentVariableW(name, planted.c_str());
    }
    // Whatever the permissions, only the place is asked about here.
    const ScopedSeam<TReadSecurityFunction> safe{
        &SetReadSecurityFunction, [](const std::wstring&) { return FromSddl(kProgramFiles); }};
    const std::wstring cause = UnsafeToStartElevatedCause(temp.File(L"Tarnwick\\Tarnwick.exe"));
    const std::wstring copyTo = ProgramFilesFolder();
    const std::vector<std::wstring> folders = ProgramFolders();
    for (size_t i = 0; i < std::size(names); ++i)
        SetEnvironmentVariableW(names[i], before[i].empty() ? nullptr : before[i].c_str());

    EXPECT_NE(cause.find(L"Program Files"), std::wstring::npos);
    EXPECT_FALSE(copyTo.empty());
    EXPECT_NE(copyTo.rfind(planted, 0), 0u) << "the copy does not go to the planted folder";
    ASSERT_FALSE(folders.empty());
    for (const std::wstring& folder : folders)
        EXPECT_NE(folder, planted);
}

// The copy, in a program folder of the test's own. The running image is a file the test holds
// as the program holds its own at start.
class CopyIntoProgramFolder : public ProgramFolderRule {
protected:
    void SetUp() override {
        ProgramFolderRule::SetUp();
        image = Make(L"..\\Downloads\\Tarnwick.exe", "the image that runs");
        HoldImage(image);
    }
    void TearDown() override { HoldImage(L""); }
    std::wstring Copy(const std::function<void(TCustomIniFile&)>& settings = {},
                      const std::function<void(const std::wstring&)>& use = {}) {
        try {
            return CopyIntoProgramFiles(
                [&](TCustomIniFile& ini) {
                    ini.WriteString(L"NET", L"AutoRun", L"1");
                    if (settings) settings(ini);
                },
                [&](const std::wstring& exe) {
                    used = exe;
                    if (use) use(exe);
                });
        } catch (const Exception& e) {
            failure = e.Message();
            return {};
        }
    }

    std::wstring image, used, failure;
    const std::wstring made = root + L"\\Tarnwick";
};

TEST_F(CopyIntoProgramFolder, TheCopyIsTheImageThatRunsWhateverLiesAtItsPathNow) {
    // Replaced after the start: renamed away and another put in its place, or written over.
    const bool renamed = MoveFileExW(image.c_str(), (image + L".old").c_str(), 0);
    HANDLE rewrite = CreateFileW(image.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 renamed ? CREATE_NEW : OPEN_EXISTING, 0, nullptr);
    const bool rewritten = rewrite != INVALID_HANDLE_VALUE;
    DWORD n = 0;
    if (rewritten) WriteFile(rewrite, "a planted program", 17, &n, nullptr);
    if (rewritten) CloseHandle(rewrite);
    EXPECT_FALSE(renamed || rewritten) << "the held image can be neither renamed nor written";

    const std::wstring exe = Copy();
    ASSERT_EQ(failure, L"");
    EXPECT_EQ(exe, made + L"\\Tarnwick.exe");
    EXPECT_EQ(used, exe) << "started from the copy";
    EXPECT_EQ(Contents(exe), "the image that runs");
    EXPECT_EQ(TIniFile(made + L"\\Config.ini").ReadString(L"NET", L"AutoRun", L""), L"1");
    EXPECT_FALSE(Exists(exe + L".copy") || Exists(made + L"\\Config.ini.copy"));

    // Made with permissions of its own, where Wine keeps them.
    PSECURITY_DESCRIPTOR read = nullptr;
    GetNamedSecurityInfoW(made.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          nullptr, nullptr, &read);
    const ScopedSecurityDescriptor descriptor(read);
    wchar_t* sddl = nullptr;
    if (descriptor &&
        ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor.Get(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
        const std::wstring dacl = sddl;
        LocalFree(sddl);
        if (dacl.rfind(L"D:P", 0) == 0)
            EXPECT_EQ(dacl, L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
        else
            std::printf("note: Wine did not keep the DACL made for %ls\n", made.c_str());
    }
}

TEST_F(CopyIntoProgramFolder, WithoutTheImageHeldSinceStartNoCopyIsMade) {
    HoldImage(temp.File(L"missing.exe"));
    EXPECT_EQ(Copy(), L"");
    EXPECT_NE(failure.find(L"无法确认它未被替换"), std::wstring::npos);
    EXPECT_EQ(used, L"");
    EXPECT_FALSE(Exists(made)) << "the folder it made goes too";
}

TEST_F(CopyIntoProgramFolder, AnExistingFolderOthersMayChangeIsRefused) {
    // Made beforehand, with Users:Modify.
    Make(L"Tarnwick\\Config.ini", "[NET]\r\nMethod=B\r\n");
    loosened = {{made, kUsersModify}};
    EXPECT_EQ(Copy(), L"");
    EXPECT_NE(failure.find(L"无法将 Tarnwick 复制到"), std::wstring::npos);
    EXPECT_NE(failure.find(L"允许其他用户修改"), std::wstring::npos);
    EXPECT_EQ(used, L"");
    EXPECT_FALSE(Exists(made + L"\\Tarnwick.exe"));
    EXPECT_EQ(Contents(made + L"\\Config.ini"), "[NET]\r\nMethod=B\r\n") << "left as it was";

    // One only administrators may change takes the copy, and nothing of its old settings.
    loosened.clear();
    ASSERT_EQ(Copy(), made + L"\\Tarnwick.exe") << std::string(failure.begin(), failure.end());
    TIniFile settings(made + L"\\Config.ini");
    EXPECT_EQ(settings.ReadString(L"NET", L"Method", L"-"), L"-");
    EXPECT_EQ(settings.ReadString(L"NET", L"AutoRun", L"-"), L"1");
}

TEST_F(CopyIntoProgramFolder, AFailedStepLeavesNothingAndSaysSo) {
    const auto settingsFail = [](TCustomIniFile&) {
        throw Exception(L"Unable to write to Config.ini");
    };
    const auto taskFails = [](const std::wstring&) {
        Exception refused(L"Access is denied.");
        refused.DescribeAs(L"无法设置开机时自动运行。");
        throw refused;
    };
    EXPECT_EQ(Copy(settingsFail), L"");
    EXPECT_NE(failure.find(L"无法将 Tarnwick 复制到"), std::wstring::npos);
    EXPECT_NE(failure.find(L"Unable to write to Config.ini"), std::wstring::npos);
    EXPECT_NE(failure.find(L"未做任何更改"), std::wstring::npos);
    EXPECT_EQ(used, L"");
    EXPECT_FALSE(Exists(made));

    EXPECT_EQ(Copy({}, taskFails), L"");
    EXPECT_EQ(failure.find(L"无法设置开机时自动运行。"), 0u) << "the step's own words first";
    EXPECT_NE(failure.find(L"未做任何更改"), std::wstring::npos);
    EXPECT_FALSE(Exists(made)) << "neither the exe nor Config.ini nor the folder stay";

    // In a folder made earlier: that folder and what it held stay.
    Make(L"Tarnwick\\Tarnwick.exe", "an earlier copy");
    EXPECT_EQ(Copy(settingsFail), L"");
    EXPECT_EQ(Contents(made + L"\\Tarnwick.exe"), "an earlier copy");
    EXPECT_FALSE(Exists(made + L"\\Tarnwick.exe.copy") || Exists(made + L"\\Config.ini.copy"));
    // The task refused after the earlier copy's files were replaced: they come back as they
    // were, so "未做任何更改" holds.
    Make(L"Tarnwick\\Config.ini", "[NET]\r\nNET=B\r\n");
    EXPECT_EQ(Copy({}, taskFails), L"");
    EXPECT_NE(failure.find(L"未做任何更改"), std::wstring::npos) << failure;
    EXPECT_EQ(Contents(made + L"\\Tarnwick.exe"), "an earlier copy");
    EXPECT_EQ(Contents(made + L"\\Config.ini"), "[NET]\r\nNET=B\r\n");
    // Made, it replaces them, and nothing set aside is left.
    EXPECT_EQ(Copy(), made + L"\\Tarnwick.exe");
    EXPECT_EQ(Contents(made + L"\\Tarnwick.exe"), "the image that runs");
    EXPECT_FALSE(Exists(made + L"\\Tarnwick.exe.old") || Exists(made + L"\\Config.ini.old"));
}
} // namespace
