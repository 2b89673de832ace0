// Installing for every user against Wine's own service control manager, registry and files, in
// a program folder of the test's own (with a blank in its path, as Program Files has) and under
// names no real install uses. The service's exe is a stand-in that reports running at once and
// holds its image as Tarnwick does.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/ServiceInstall.h"
#include "core/ServiceLink.h"
#include "core/Settings.h"
#include "core/StartupTask.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"
#include "support/BuiltProgram.h"
#include "support/FolderSecurity.h"
#include "support/Pumping.h"
#include "support/Seams.h"
#include "support/TempFolder.h"

namespace {

const wchar_t kName[] = L"TarnwickInstallTest";

bool Has(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

std::string FileBytes(const std::wstring& path) {
    const ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (file && ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read)
        bytes.append(buffer, read);
    return bytes;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The value as the registry holds it, in the 64-bit view; none when it is not there.
std::optional<std::wstring> RegistryValue(HKEY root, const std::wstring& path,
                                          const std::wstring& name) {
    ScopedRegKey key;
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) !=
            ERROR_SUCCESS ||
        RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

// The service's configuration as the service manager answers it (level: one of
// QueryServiceConfig2's; none: QueryServiceConfig's); empty when it answers none.
std::vector<BYTE> QueryConfig(SC_HANDLE service, std::optional<DWORD> level = std::nullopt) {
    const auto query = [&](BYTE* buffer, DWORD size, DWORD* needed) {
        return level ? QueryServiceConfig2W(service, *level, buffer, size, needed)
                     : QueryServiceConfigW(
                           service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer), size, needed);
    };
    DWORD needed = 0;
    query(nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (!needed || !query(buffer.data(), needed, &needed)) buffer.clear();
    return buffer;
}

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

// What Windows renames and deletes at the next restart, as REG_MULTI_SZ; empty when nothing.
std::vector<BYTE> PendingRenames() {
    DWORD size = 0;
    RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames, RRF_RT_REG_MULTI_SZ, nullptr,
                 nullptr, &size);
    std::vector<BYTE> value(size);
    if (!size || RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames,
                              RRF_RT_REG_MULTI_SZ, nullptr, value.data(), &size) != ERROR_SUCCESS)
        value.clear();
    return value;
}

class ServiceInstall : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryW(root.c_str(), nullptr);
        // What an earlier run that was cut short left.
        Clean();
        HoldImage(standIn);
        ASSERT_TRUE(Exists(standIn));
    }
    void TearDown() override {
        HoldImage(L"");
        Clean();
    }

    // Takes away what an install made under the test's names, without the code under test.
    void Clean() {
        const ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        const ScopedServiceHandle service(
            OpenServiceW(manager.Get(), kName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
        if (service) {
            SERVICE_STATUS status{};
            ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
            SERVICE_STATUS_PROCESS now{};
            DWORD needed = 0;
            const ULONGLONG until = GetTickCount64() + 10000;
            while (QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                                        reinterpret_cast<BYTE*>(&now), sizeof now, &needed) &&
                   now.dwCurrentState != SERVICE_STOPPED && GetTickCount64() < until)
                Sleep(100);
            DeleteService(service.Get());
        }
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, MachineRunKey().Path.c_str(), kName);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, UserRunKey().Path.c_str(), kName);
        try {
            DeleteStartupTask(kName);
        } catch (const std::exception&) {
        }
    }

    TInstallOutcome Install() { return Install(installation); }
    TInstallOutcome Install(const TInstallation& as) {
        return InstallForAllUsers(as, [this](TCustomIniFile& ini) {
            ++settingsWritten;
            ini.WriteString(L"NET", L"Method", L"B");
        });
    }

    ScopedServiceHandle OpenTestService() {
        const ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        return ScopedServiceHandle(OpenServiceW(manager.Get(), kName, SERVICE_QUERY_CONFIG));
    }

    const TWatchdog watchdog{120};
    TempFolder temp;
    const std::wstring root = temp.File(L"Program Files");
    const std::wstring folder = root + L"\\" + kName + L"\\";
    const std::wstring exe = folder + L"Tarnwick.exe", settings = folder + L"Config.ini";
    const std::wstring standIn = ExecutableFolder() + L"stand_in_service.exe";
    const TInstallation installation{kName, kName, kName, L"", L"", kName, kName};
    int settingsWritten = 0;
    std::map<std::wstring, std::wstring> loosened;
    const ScopedSeam<TProgramFoldersFunction> folders{
        &SetProgramFoldersFunction, [this] { return std::vector<std::wstring>{root}; }};
    const ScopedSeam<TReadSecurityFunction> security{
        &SetReadSecurityFunction, [this](const std::wstring& path) {
            const auto found = loosened.find(path);
            return FromSddl(found == loosened.end() ? kProgramFiles : found->second);
        }};
};

TEST_F(ServiceInstall, InstalledTwiceThenUninstalledTwice) {
    EXPECT_FALSE(RunningServiceProcessId(kName)) << "nothing installed yet";
    // What an earlier version started at logon.
    RegisterStartupTask(kName, standIn);
    SetAutoRunValue(true, UserRunKey(), kName, L"C:\\Old\\Tarnwick.exe");

    const TInstallOutcome first = Install();
    ASSERT_TRUE(first.Succeeded) << ToUtf8(first.Text);
    EXPECT_TRUE(Has(first.Text, L"已安装到“" + folder + L"”")) << ToUtf8(first.Text);
    EXPECT_EQ(FileBytes(exe), FileBytes(standIn));
    EXPECT_EQ(TIniFile(settings).ReadString(L"NET", L"Method", L""), L"B");
    {
        const ScopedServiceHandle service = OpenTestService();
        ASSERT_TRUE(service);
        const std::vector<BYTE> buffer = QueryConfig(service.Get());
        ASSERT_FALSE(buffer.empty());
        const auto* config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data());
        EXPECT_EQ(std::wstring(config->lpBinaryPathName), L"\"" + exe + L"\" --service");
        EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
        EXPECT_EQ(std::wstring(config->lpServiceStartName), L"LocalSystem");

        const std::vector<BYTE> description =
            QueryConfig(service.Get(), SERVICE_CONFIG_DESCRIPTION);
        ASSERT_FALSE(description.empty());
        const wchar_t* text =
            reinterpret_cast<const SERVICE_DESCRIPTIONW*>(description.data())->lpDescription;
        EXPECT_TRUE(text && Has(text, L"为所有用户应用管理员设定的两套 IP 设置"));

        const std::vector<BYTE> failure =
            QueryConfig(service.Get(), SERVICE_CONFIG_FAILURE_ACTIONS);
        const auto* actions = reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(failure.data());
        if (failure.empty() || actions->cActions == 0) {
            std::printf("note: Wine's service manager did not keep the failure actions\n");
        } else {
            ASSERT_EQ(actions->cActions, 3u);
            for (DWORD i = 0; i < 3; ++i)
                EXPECT_EQ(actions->lpsaActions[i].Type, SC_ACTION_RESTART);
            EXPECT_EQ(actions->lpsaActions[0].Delay, 5000u);
            EXPECT_EQ(actions->lpsaActions[1].Delay, 30000u);
            EXPECT_EQ(actions->lpsaActions[2].Delay, 60000u);
            EXPECT_EQ(actions->dwResetPeriod, 86400u);
        }
    }
    EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, MachineRunKey().Path, kName), L"\"" + exe + L"\"");
    EXPECT_FALSE(RegisteredTaskXml(kName)) << "the logon task of an earlier version";
    EXPECT_FALSE(RegistryValue(HKEY_CURRENT_USER, UserRunKey().Path, kName));
    EXPECT_TRUE(RunningServiceProcessId(kName)) << ToUtf8(first.Text);
    EXPECT_TRUE(Has(first.Text, L"已启动"));

    // Again, a later build over the installed copy, whose service holds its exe: stopped,
    // replaced and started again; its settings stay byte for byte.
    const std::string edited = "[NET]\r\nNET=A\r\n; the administrator's own words\r\n";
    temp.WriteBytes(L"Program Files\\TarnwickInstallTest\\Config.ini", edited);
    temp.WriteBytes(L"later.exe", FileBytes(standIn) + "a later build");
    HoldImage(temp.File(L"later.exe"));
    const TInstallOutcome second = Install();
    ASSERT_TRUE(second.Succeeded) << ToUtf8(second.Text);
    EXPECT_TRUE(Has(second.Text, L"已更新")) << ToUtf8(second.Text);
    EXPECT_EQ(settingsWritten, 1) << "a Config.ini there is kept";
    EXPECT_EQ(FileBytes(settings), edited);
    EXPECT_EQ(FileBytes(exe), FileBytes(temp.File(L"later.exe")));
    EXPECT_FALSE(Exists(exe + L".old") || Exists(exe + L".copy"));
    EXPECT_TRUE(RunningServiceProcessId(kName));

    const TInstallOutcome removed = UninstallForAllUsers(installation);
    ASSERT_TRUE(removed.Succeeded) << ToUtf8(removed.Text);
    EXPECT_TRUE(Has(removed.Text, L"已从这台计算机上卸载")) << ToUtf8(removed.Text);
    EXPECT_TRUE(Has(removed.Text, L"设置保留在“" + settings + L"”"));
    EXPECT_FALSE(OpenTestService());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_FALSE(RunningServiceProcessId(kName));
    EXPECT_FALSE(RegistryValue(HKEY_LOCAL_MACHINE, MachineRunKey().Path, kName));
    EXPECT_FALSE(Exists(exe));
    EXPECT_EQ(FileBytes(settings), edited);

    const TInstallOutcome again = UninstallForAllUsers(installation);
    ASSERT_TRUE(again.Succeeded) << ToUtf8(again.Text);
    EXPECT_TRUE(Has(again.Text, L"没有安装")) << ToUtf8(again.Text);
    EXPECT_TRUE(Has(again.Text, L"设置保留在")) << "and still says where";
}

TEST_F(ServiceInstall, AFolderOthersMayChangeIsRefusedAndNothingIsInstalled) {
    CreateDirectoryW(folder.c_str(), nullptr);
    loosened = {{folder.substr(0, folder.size() - 1), kUsersModify}};
    const TInstallOutcome outcome = Install();
    EXPECT_FALSE(outcome.Succeeded);
    EXPECT_TRUE(Has(outcome.Text, L"“" + folder + L"”已存在，并且允许其他用户修改"))
        << ToUtf8(outcome.Text);
    EXPECT_TRUE(Has(outcome.Text, L"未做任何更改"));
    EXPECT_FALSE(OpenTestService());
    EXPECT_FALSE(RegistryValue(HKEY_LOCAL_MACHINE, MachineRunKey().Path, kName));
    EXPECT_FALSE(Exists(exe) || Exists(settings));

    // A kept Config.ini others may change would steer the service: refused too.
    loosened = {{settings, kUsersModify}};
    temp.WriteBytes(L"Program Files\\TarnwickInstallTest\\Config.ini", "[NET]\r\n");
    const TInstallOutcome kept = Install();
    EXPECT_FALSE(kept.Succeeded);
    EXPECT_TRUE(Has(kept.Text, L"“" + settings + L"”允许其他用户修改")) << ToUtf8(kept.Text);
    EXPECT_FALSE(OpenTestService());
    EXPECT_FALSE(Exists(exe));
}

TEST_F(ServiceInstall, AServiceThatCannotBeMadeTakesTheCopyAwayAgain) {
    // A name the service manager refuses; the folder and the Run value use the usual ones.
    TInstallation refused = installation;
    refused.ServiceName = std::wstring(300, L'T');
    const TInstallOutcome outcome = Install(refused);
    EXPECT_FALSE(outcome.Succeeded);
    EXPECT_TRUE(Has(outcome.Text, L"无法创建服务")) << ToUtf8(outcome.Text);
    EXPECT_TRUE(Has(outcome.Text, L"未做任何更改")) << ToUtf8(outcome.Text);
    EXPECT_FALSE(Exists(folder)) << "the folder it made goes again";
    EXPECT_FALSE(RegistryValue(HKEY_LOCAL_MACHINE, MachineRunKey().Path, kName));
}

// Run from the program folder: the installed exe is the running image.
TEST_F(ServiceInstall, RunFromTheInstalledCopyItIsNotCopiedOntoItselfAndGoesAtRestart) {
    ASSERT_TRUE(Install().Succeeded);
    HoldImage(exe);
    // The exe held cannot be moved aside: an update that tried to replace it would fail.
    const TInstallOutcome updated = Install();
    ASSERT_TRUE(updated.Succeeded) << ToUtf8(updated.Text);
    EXPECT_TRUE(RunningServiceProcessId(kName));

    // The restart's list of the test's prefix is put back as it was.
    const std::vector<BYTE> before = PendingRenames();
    const TInstallOutcome removed = UninstallForAllUsers(installation);
    const std::vector<BYTE> after = PendingRenames();
    if (before.empty())
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames);
    else
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames, REG_MULTI_SZ,
                        before.data(), static_cast<DWORD>(before.size()));
    ASSERT_TRUE(removed.Succeeded) << ToUtf8(removed.Text);
    EXPECT_TRUE(Has(removed.Text, L"“" + exe + L"”仍在使用中，将在重新启动计算机后删除"))
        << ToUtf8(removed.Text);
    EXPECT_FALSE(OpenTestService());
    // Pairs of a path and where it goes, an empty one for a file that is deleted.
    const std::wstring renames(reinterpret_cast<const wchar_t*>(after.data()),
                               after.size() / sizeof(wchar_t));
    EXPECT_TRUE(Has(renames, exe + std::wstring(2, L'\0'))) << "deleted at the next restart";
}

// The program built beside the tests, as the service manager starts it, in simulation mode so
// that nothing real is switched.
TEST_F(ServiceInstall, TheBuiltProgramRunsAsTheInstalledService) {
    HoldImage(BuiltTarnwick());
    TInstallation simulated = installation;
    simulated.ServiceOptions = simulated.TrayOptions = L"--simulate";
    const TInstallOutcome outcome = Install(simulated);
    ASSERT_TRUE(outcome.Succeeded) << ToUtf8(outcome.Text);
    EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, MachineRunKey().Path, kName),
              L"\"" + exe + L"\" --simulate");
    {
        const ScopedServiceHandle service = OpenTestService();
        const std::vector<BYTE> buffer = QueryConfig(service.Get());
        ASSERT_FALSE(buffer.empty());
        EXPECT_EQ(
            std::wstring(
                reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.data())->lpBinaryPathName),
            L"\"" + exe + L"\" --simulate --service");
    }
    EXPECT_TRUE(RunningServiceProcessId(kName)) << ToUtf8(outcome.Text);
    EXPECT_TRUE(Has(outcome.Text, L"已启动")) << ToUtf8(outcome.Text);
    const TInstallOutcome removed = UninstallForAllUsers(installation);
    EXPECT_TRUE(removed.Succeeded) << ToUtf8(removed.Text);
    EXPECT_FALSE(RunningServiceProcessId(kName));
}
} // namespace
