#include "core/ServiceInstall.h"

#include <utility>

#include "core/ProgramFolder.h"
#include "core/ServiceNames.h"
#include "core/Settings.h"
#include "core/StartupTask.h"
#include "framework/CommandLine.h"
#include "framework/Exception.h"
#include "framework/Scoped.h"

namespace {
const wchar_t kDescription[] =
    L"在内网与外网的 IP 设置之间切换：为所有用户应用管理员设定的两套 IP 设置，"
    L"并在网线换到另一个网络时自动切换。";
// How long a stop may take before the service is given up on, and how long a start is waited
// for before the box says it has not started (the manager waits 30 s itself).
constexpr DWORD kStopWaitMs = 10000, kStartWaitMs = 5000;

[[noreturn]] void Raise(DWORD error, const std::wstring& whatFailed) {
    Exception failure(SystemErrorMessage(static_cast<long>(error)));
    failure.DescribeAs(whatFailed);
    throw failure;
}

std::wstring Quoted(const std::wstring& name) {
    return L"“" + name + L"”";
}

// The last error, taken before any text is put together, described as what, the quoted name
// (when there is one), then tail.
[[noreturn]] void RaiseLastError(const wchar_t* what, const std::wstring& name = {},
                                 const wchar_t* tail = L"。") {
    const DWORD error = GetLastError();
    Raise(error, what + (name.empty() ? std::wstring() : Quoted(name)) + tail);
}

bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed) != FALSE;
}

// Stops the service and waits for it to have stopped; false when it has not within the time.
bool StopAndWait(SC_HANDLE service, const std::wstring& name) {
    const ULONGLONG until = GetTickCount64() + kStopWaitMs;
    bool asked = false;
    for (;;) {
        SERVICE_STATUS_PROCESS status{};
        if (!QueryStatus(service, status)) RaiseLastError(L"无法查询服务", name);
        if (status.dwCurrentState == SERVICE_STOPPED) return true;
        // One still starting takes no stop yet; it is asked again once it runs.
        if (!asked && status.dwCurrentState != SERVICE_START_PENDING &&
            status.dwCurrentState != SERVICE_STOP_PENDING) {
            SERVICE_STATUS ignored{};
            if (ControlService(service, SERVICE_CONTROL_STOP, &ignored)) {
                asked = true;
            } else {
                const DWORD error = GetLastError();
                if (error != ERROR_SERVICE_NOT_ACTIVE && error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
                    Raise(error, L"无法停止服务" + Quoted(name) + L"。");
            }
        }
        if (GetTickCount64() >= until) return false;
        Sleep(100);
    }
}

// Starts the service and waits a little for it to run; answers the line the box shows.
std::wstring StartAndWait(SC_HANDLE service, const std::wstring& name) {
    if (!StartServiceW(service, 0, nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_ALREADY_RUNNING)
            return L"服务" + Quoted(name) + L"已安装，但未能启动：" + SystemErrorMessage(error);
    }
    const ULONGLONG until = GetTickCount64() + kStartWaitMs;
    SERVICE_STATUS_PROCESS status{};
    while (QueryStatus(service, status) && status.dwCurrentState != SERVICE_RUNNING &&
           status.dwCurrentState != SERVICE_STOPPED && GetTickCount64() < until)
        Sleep(100);
    if (status.dwCurrentState == SERVICE_RUNNING) return L"服务" + Quoted(name) + L"已启动。";
    if (status.dwCurrentState == SERVICE_STOPPED && status.dwWin32ExitCode != NO_ERROR)
        return L"服务" + Quoted(name) + L"已安装，但启动后又停止了：" +
               SystemErrorMessage(static_cast<long>(status.dwWin32ExitCode));
    return L"服务" + Quoted(name) + L"已安装，但没有在 5 秒内报告正在运行。";
}

// Creates the service, or brings one of that name to what is installed now; answers whether it
// was created.
bool RegisterService(SC_HANDLE manager, ScopedServiceHandle& service,
                     const TInstallation& installation, const std::wstring& exe) {
    const std::wstring& name = installation.ServiceName;
    const std::wstring commandLine = ServiceCommandLine(exe, installation.ServiceOptions);
    if (service) {
        // Its dependencies and group stay as an administrator may have set them.
        if (!ChangeServiceConfigW(service.Get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                  nullptr, L"LocalSystem", L"", name.c_str()))
            RaiseLastError(L"无法更新服务", name);
        return false;
    }
    // No account: LocalSystem.
    service.Reset(CreateServiceW(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                 SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                 nullptr, nullptr, nullptr));
    if (!service) RaiseLastError(L"无法创建服务", name);
    return true;
}

// The description, and a restart after 5 s, 30 s and 60 s when the service fails, counted
// afresh after a day without a failure.
void DescribeService(SC_HANDLE service, const std::wstring& name) {
    SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(kDescription)};
    if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description))
        RaiseLastError(L"无法设置服务", name, L"的描述。");
    SC_ACTION restarts[] = {
        {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 30000}, {SC_ACTION_RESTART, 60000}};
    SERVICE_FAILURE_ACTIONSW actions{24 * 60 * 60, nullptr, nullptr, 3, restarts};
    if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions))
        RaiseLastError(L"无法设置服务", name, L"的恢复操作。");
}

std::wstring TrayCommandLine(const std::wstring& exe, const std::wstring& options) {
    return QuotedArgument(exe, true) + (options.empty() ? L"" : L" " + options);
}

// Whether the value is there, in the 64-bit view.
bool RunValuePresent(const TRunKey& where, const std::wstring& valueName) {
    ScopedRegKey key;
    return RegOpenKeyExW(where.Root, where.Path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                         key.Receive()) == ERROR_SUCCESS &&
           RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
}

// What earlier versions started at logon: the task that started an elevated copy, and the
// current user's Run value. Answers a line for each that could not be removed.
std::wstring RemoveEarlierStarts(const TInstallation& installation) {
    std::wstring left;
    try {
        if (!installation.EarlierTaskName.empty()) DeleteStartupTask(installation.EarlierTaskName);
    } catch (const std::exception& e) {
        left += L"\n无法删除早期版本的登录任务" + Quoted(installation.EarlierTaskName) + L"：" +
                ExceptionMessage(e);
    }
    try {
        if (!installation.EarlierRunValueName.empty())
            SetAutoRunValue(false, UserRunKey(), installation.EarlierRunValueName, L"");
    } catch (const std::exception& e) {
        left += L"\n无法删除早期版本的自动运行项" + Quoted(installation.EarlierRunValueName) +
                L"：" + ExceptionMessage(e);
    }
    return left;
}

enum class TRemoved { Absent, Now, AtRestart };

// Deletes a file of the program. One that still runs (this process, started from it, or a
// tray still open) cannot go before it ends: it is deleted at the next restart.
TRemoved RemoveProgramFile(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return TRemoved::Absent;
    if (DeleteFileW(path.c_str())) return TRemoved::Now;
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
        Raise(error, L"无法删除" + Quoted(path) + L"。");
    if (!MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        RaiseLastError(L"无法删除", path);
    return TRemoved::AtRestart;
}
} // namespace

TInstallation InstallationOf(bool simulated, const std::wstring& simulationOptions) {
    // Earlier versions named both after the program; a simulated install leaves them alone.
    const std::wstring earlier = simulated ? L"" : L"Tarnwick";
    return {ServiceName(simulated),
            TrayRunValueName(simulated),
            ProgramFolderName(simulated),
            simulationOptions,
            simulated ? L"--simulate" : L"",
            earlier,
            earlier};
}

std::wstring ServiceCommandLine(const std::wstring& exe, const std::wstring& options) {
    return QuotedArgument(exe, true) + (options.empty() ? L"" : L" " + options) + L" --service";
}

TInstallOutcome InstallForAllUsers(const TInstallation& installation,
                                   const std::function<void(TCustomIniFile&)>& writeSettings) {
    const std::wstring& name = installation.ServiceName;
    const std::wstring settings = ProgramFilesFolder(installation.FolderName) + L"Config.ini";
    const bool settingsThere = GetFileAttributesW(settings.c_str()) != INVALID_FILE_ATTRIBUTES;
    ScopedServiceHandle manager, service;
    bool ran = false, created = false;
    std::wstring exe;
    try {
        manager.Reset(
            OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
        if (!manager) RaiseLastError(L"无法打开服务管理器");
        service.Reset(OpenServiceW(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
        if (!service && GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST)
            RaiseLastError(L"无法打开服务", name);
        if (service) {
            // An installed copy's exe cannot be replaced while its service runs it.
            SERVICE_STATUS_PROCESS status{};
            ran = QueryStatus(service.Get(), status) && status.dwCurrentState != SERVICE_STOPPED;
            if (!StopAndWait(service.Get(), name)) {
                Exception late(L"服务" + Quoted(name) + L"没有在 10 秒内停止。\n未做任何更改。");
                late.DescribeAs(L"无法更新已安装的 Tarnwick。");
                throw late;
            }
        }
        exe = CopyIntoProgramFiles(
            writeSettings,
            [&](const std::wstring& copy) {
                created = RegisterService(manager.Get(), service, installation, copy);
                try {
                    DescribeService(service.Get(), name);
                    Attempt(L"无法设置登录时启动 Tarnwick。",
                            [&] { SetTrayStartsAtLogon(installation, true, copy); });
                } catch (...) {
                    // A service this install made goes again; one it updated names the same
                    // exe, which the copy puts back.
                    if (created && DeleteService(service.Get())) service.Reset();
                    throw;
                }
            },
            installation.FolderName, TExistingSettings::Keep);
    } catch (const std::exception& e) {
        // An installed copy that was running runs again as it was.
        if (service && ran && !created) StartServiceW(service.Get(), 0, nullptr);
        return {false, L"Tarnwick 未能安装。\n" + ExceptionMessage(e)};
    }
    std::wstring text = (created ? L"Tarnwick 已安装到" : L"Tarnwick 已更新，位于") +
                        Quoted(exe.substr(0, exe.find_last_of(L'\\') + 1)) +
                        L"。这台计算机的所有用户登录后都可以切换 IP 设置。";
    if (settingsThere) text += L"\n" + Quoted(settings) + L"中已有的设置保持不变。";
    text += RemoveEarlierStarts(installation);
    text += L"\n" + StartAndWait(service.Get(), name);
    return {true, text};
}

TInstallOutcome UninstallForAllUsers(const TInstallation& installation) {
    const std::wstring& name = installation.ServiceName;
    const std::wstring folder = ProgramFilesFolder(installation.FolderName);
    const std::wstring folderPath = folder.substr(0, folder.size() ? folder.size() - 1 : 0);
    const std::wstring exe = folder + L"Tarnwick.exe", settings = folder + L"Config.ini";
    bool found = false, atRestart = false;
    std::wstring notes;
    try {
        if (folder.empty()) Raise(ERROR_PATH_NOT_FOUND, L"找不到“Program Files”文件夹。");
        ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (!manager) RaiseLastError(L"无法打开服务管理器");
        ScopedServiceHandle service(OpenServiceW(manager.Get(), name.c_str(),
                                                 SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
        if (!service && GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST)
            RaiseLastError(L"无法打开服务", name);
        if (service) {
            found = true;
            // One that does not stop is deleted all the same: the manager removes it once it
            // has stopped.
            if (!StopAndWait(service.Get(), name))
                notes += L"\n服务" + Quoted(name) + L"没有在 10 秒内停止，它停止后即被删除。";
            if (!DeleteService(service.Get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
                RaiseLastError(L"无法删除服务", name);
        }
        if (RunValuePresent(MachineRunKey(), installation.RunValueName)) {
            found = true;
            Attempt(L"无法取消登录时启动 Tarnwick。", [&] {
                SetAutoRunValue(false, MachineRunKey(), installation.RunValueName, L"");
            });
        }
        // The copy an update left beside it while it still ran goes too.
        for (const std::wstring& file : {exe, exe + L".old"}) {
            const TRemoved removed = RemoveProgramFile(file);
            found = found || removed != TRemoved::Absent;
            atRestart = atRestart || removed == TRemoved::AtRestart;
        }
    } catch (const std::exception& e) {
        return {false, L"Tarnwick 未能完全卸载。\n" + ExceptionMessage(e) + notes};
    }
    const bool settingsKept = GetFileAttributesW(settings.c_str()) != INVALID_FILE_ATTRIBUTES;
    // The folder goes with the last file in it, at the restart when that one waits for it; with
    // Config.ini, or anything else in it, it stays, and that is no failure.
    if (!settingsKept && !RemoveDirectoryW(folderPath.c_str()) && atRestart)
        MoveFileExW(folderPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    std::wstring text =
        found ? L"Tarnwick 已从这台计算机上卸载。" : L"这台计算机上没有安装 Tarnwick，无需卸载。";
    if (atRestart) text += L"\n" + Quoted(exe) + L"仍在使用中，将在重新启动计算机后删除。";
    if (settingsKept) text += L"\n设置保留在" + Quoted(settings) + L"中。";
    return {true, text + notes};
}

bool TrayStartsAtLogon(const TInstallation& installation) {
    return RunValuePresent(MachineRunKey(), installation.RunValueName);
}

void SetTrayStartsAtLogon(const TInstallation& installation, bool on, const std::wstring& exe) {
    SetAutoRunValue(on, MachineRunKey(), installation.RunValueName,
                    TrayCommandLine(exe, installation.TrayOptions));
}
