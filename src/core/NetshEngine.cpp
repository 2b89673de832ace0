#include "core/NetshEngine.h"

#include "core/Settings.h"
#include "framework/Application.h"
#include "framework/Scoped.h"

namespace {

std::wstring& ProgramOverride() {
    static std::wstring path;
    return path;
}

// Later commands still run after a failure, but only the first failure is reported.
void KeepFirstFailure(int& result, int code) {
    if (result == 0) result = code;
}

// The name goes in double quotes: netsh would split a name with blanks ("本地连接 2") into
// several words.
std::wstring Quoted(const std::wstring& name) {
    return L"\"" + name + L"\"";
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

int RunAndWait(const std::wstring& commandLine, DWORD timeLimit) {
    // Refused rather than cut: a shortened command could apply a wrong address.
    if (commandLine.size() > NetshMaxCommandLine) return -1;
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
        return -1;
    ScopedHandle process(created.hProcess);
    ScopedHandle thread(created.hThread);

    if (WaitForSingleObject(process.Get(), timeLimit) != WAIT_OBJECT_0) {
        // Stopped, so that the next command never runs beside a hung one.
        TerminateProcess(process.Get(), static_cast<UINT>(-1));
        WaitForSingleObject(process.Get(), 5000);
        return -1;
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.Get(), &exitCode)) return -1;
    return static_cast<int>(exitCode);
}

int NetshSetAddress(const std::wstring& connectionName, const std::wstring& address,
                    const std::wstring& mask, const std::wstring& gateway,
                    const std::wstring& preferred, const std::wstring& alternate) {
    const std::wstring name = Quoted(connectionName);
    const std::wstring setAddress = L"netsh interface ip set address " + name;
    const std::wstring setDns = L"netsh interface ip set dns " + name;
    int result = 0;
    if (address.empty() || address == L"DHCP") {
        KeepFirstFailure(result, RunAndWait(setAddress + L" dhcp "));
        KeepFirstFailure(result, RunAndWait(setDns + L" dhcp "));
    } else {
        // Without a gateway netsh would read the metric 1 as the gateway.
        const std::wstring route = gateway.empty() ? L"none" : gateway + L" 1";
        KeepFirstFailure(
            result, RunAndWait(setAddress + L" static " + address + L" " + mask + L" " + route));
        KeepFirstFailure(
            result,
            RunAndWait(setDns + (preferred.empty() ? L" static none" : L" static " + preferred)));
        if (!alternate.empty())
            KeepFirstFailure(result,
                             RunAndWait(L"netsh interface ip add dns " + name + L" " + alternate));
    }
    // The thread was blocked while the commands ran; let the windows repaint.
    Application().ProcessMessages();
    return result;
}

int NetshApplyProfile(const std::wstring& profile, const std::wstring& connectionName) {
    TIniFile& ini = ConfigIni();
    if (ini.ReadString(profile, L"DHCPEnabled", L"0") == L"1")
        return NetshSetAddress(connectionName, L"DHCP", L"", L"", L"", L"");
    return NetshSetAddress(connectionName, ini.ReadString(profile, L"IPAddress", L""),
                           ini.ReadString(profile, L"IPSubnet", L""),
                           ini.ReadString(profile, L"DefaultIPGateway", L""),
                           ini.ReadString(profile, L"DNSA", L""),
                           ini.ReadString(profile, L"DNSB", L""));
}
