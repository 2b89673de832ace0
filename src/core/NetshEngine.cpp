#include "core/NetshEngine.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "core/Settings.h"
#include "core/WmiAdapters.h"
#include "framework/Application.h"
#include "framework/Scoped.h"

namespace {

std::wstring& ProgramOverride() {
    static std::wstring path;
    return path;
}

// The name goes in double quotes: netsh would split a name with blanks ("本地连接 2") into
// several words.
std::wstring Quoted(const std::wstring& name) {
    return L"\"" + name + L"\"";
}

// What the adapter shows once a command has done its work.
using TShows = std::function<bool(const TAdapterState&)>;

bool Contains(const std::vector<std::wstring>& items, const std::wstring& item) {
    return std::find(items.begin(), items.end(), item) != items.end();
}

bool AdapterShows(const std::wstring& connectionName, const TShows& shows) {
    try {
        const std::optional<TAdapterState> state = ReadConnectionState(connectionName);
        return state && shows(*state);
    } catch (const std::exception&) {
        return false; // not confirmed: the exit code stands
    }
}

// Windows' netsh exits 1 when the adapter already is as asked ("DHCP is already enabled on
// this interface.", an address already present); Wine's netsh never gets that far. So a
// non-zero exit is only a failure when the adapter does not show what the command asks for.
TSwitchResult RunCommand(const std::wstring& commandLine, const std::wstring& connectionName,
                         const TShows& shows) {
    const TNetshRun run = RunNetsh(commandLine);
    if (run.Kind == TNetshRun::Exited && (run.ExitCode == 0 || AdapterShows(connectionName, shows)))
        return {};
    return TSwitchResult::Failure(run.Kind == TNetshRun::Exited ? run.ExitCode : -1,
                                  NetshCause(run));
}

} // namespace

std::wstring NetshProgram() {
    if (!ProgramOverride().empty()) return ProgramOverride();
    std::wstring folder(GetSystemDirectoryW(nullptr, 0), L'\0');
    folder.resize(GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size())));
    return folder + L"\\netsh.exe";
}

void SetNetshProgram(const std::wstring& path) {
    ProgramOverride() = path;
}

TNetshRun RunNetsh(const std::wstring& commandLine, DWORD timeLimit) {
    // Refused rather than cut: a shortened command could apply a wrong address.
    if (commandLine.size() > NetshMaxCommandLine) return {TNetshRun::NotStarted};
    std::wstring buffer = commandLine; // CreateProcessW may write into its command line
    const std::wstring program = NetshProgram();

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, TRUE,
                        CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        &created))
        return {TNetshRun::NotStarted};
    ScopedHandle process(created.hProcess);
    ScopedHandle thread(created.hThread);

    if (WaitForSingleObject(process.Get(), timeLimit) != WAIT_OBJECT_0) {
        // Stopped, so that the next command never runs beside a hung one.
        TerminateProcess(process.Get(), static_cast<UINT>(-1));
        WaitForSingleObject(process.Get(), 5000);
        return {TNetshRun::TimedOut};
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.Get(), &exitCode)) return {TNetshRun::NotStarted};
    return {TNetshRun::Exited, static_cast<int>(exitCode)};
}

int RunAndWait(const std::wstring& commandLine, DWORD timeLimit) {
    const TNetshRun run = RunNetsh(commandLine, timeLimit);
    return run.Kind == TNetshRun::Exited ? run.ExitCode : -1;
}

std::wstring NetshCause(const TNetshRun& run) {
    switch (run.Kind) {
    case TNetshRun::NotStarted:
        return L"netsh 无法启动";
    case TNetshRun::TimedOut:
        return L"netsh 超时";
    default:
        return L"netsh 返回 " + std::to_wstring(run.ExitCode);
    }
}

TSwitchResult NetshSwitchAddress(const std::wstring& connectionName, const std::wstring& address,
                                 const std::wstring& mask, const std::wstring& gateway,
                                 const std::wstring& preferred, const std::wstring& alternate) {
    const std::wstring name = Quoted(connectionName);
    const std::wstring setAddress = L"netsh interface ip set address " + name;
    const std::wstring setDns = L"netsh interface ip set dns " + name;
    // Later commands still run after a failure, but only the first failure is reported.
    TSwitchResult result;
    const auto run = [&](const std::wstring& commandLine, const TShows& shows) {
        result.Add(RunCommand(commandLine, connectionName, shows));
    };
    if (address.empty() || address == L"DHCP") {
        const TShows dhcp = [](const TAdapterState& s) { return s.DHCPEnabled; };
        run(setAddress + L" dhcp ", dhcp);
        run(setDns + L" dhcp ", dhcp);
    } else {
        const TShows addressShown = [&](const TAdapterState& s) {
            for (size_t i = 0; i < s.IPAddress.size() && i < s.IPSubnet.size(); ++i)
                if (s.IPAddress[i] == address && s.IPSubnet[i] == mask)
                    return !s.DHCPEnabled &&
                           (gateway.empty() || Contains(s.DefaultIPGateway, gateway));
            return false;
        };
        std::vector<std::wstring> servers;
        for (const std::wstring* server : {&preferred, &alternate})
            if (!server->empty()) servers.push_back(*server);
        const TShows serversShown = [&](const TAdapterState& s) {
            return s.DNSServerSearchOrder == servers;
        };
        // Without a gateway netsh would read the metric 1 as the gateway.
        const std::wstring route = gateway.empty() ? L"none" : gateway + L" 1";
        run(setAddress + L" static " + address + L" " + mask + L" " + route, addressShown);
        run(setDns + (preferred.empty() ? L" static none" : L" static " + preferred), serversShown);
        if (!alternate.empty())
            run(L"netsh interface ip add dns " + name + L" " + alternate, serversShown);
    }
    // The thread was blocked while the commands ran; let the windows repaint.
    Application().ProcessMessages();
    return result;
}

int NetshSetAddress(const std::wstring& connectionName, const std::wstring& address,
                    const std::wstring& mask, const std::wstring& gateway,
                    const std::wstring& preferred, const std::wstring& alternate) {
    return NetshSwitchAddress(connectionName, address, mask, gateway, preferred, alternate).Code;
}

TSwitchResult NetshSwitchProfile(const std::wstring& profile, const std::wstring& connectionName) {
    TIniFile& ini = ConfigIni();
    if (ini.ReadString(profile, L"DHCPEnabled", L"0") == L"1")
        return NetshSwitchAddress(connectionName, L"DHCP", L"", L"", L"", L"");
    return NetshSwitchAddress(connectionName, ini.ReadString(profile, L"IPAddress", L""),
                              ini.ReadString(profile, L"IPSubnet", L""),
                              ini.ReadString(profile, L"DefaultIPGateway", L""),
                              ini.ReadString(profile, L"DNSA", L""),
                              ini.ReadString(profile, L"DNSB", L""));
}

int NetshApplyProfile(const std::wstring& profile, const std::wstring& connectionName) {
    return NetshSwitchProfile(profile, connectionName).Code;
}
