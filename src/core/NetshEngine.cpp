#include "core/NetshEngine.h"

#include <utility>
#include <vector>

#include "core/ProfileCheck.h"
#include "framework/Application.h"
#include "framework/CommandLine.h"
#include "framework/Scoped.h"

namespace {

std::wstring& ProgramOverride() {
    static std::wstring path;
    return path;
}

std::function<void(const std::wstring&, const TNetshRun&)>& RunObserver() {
    static std::function<void(const std::wstring&, const TNetshRun&)> observer;
    return observer;
}

TSwitchResult RunCommand(const std::wstring& commandLine) {
    const TNetshRun run = RunNetsh(commandLine);
    if (run.Kind == TNetshRun::Exited && run.ExitCode == 0) return {};
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

std::wstring SetNetshProgram(std::wstring path) {
    return std::exchange(ProgramOverride(), std::move(path));
}

namespace {
TNetshRun StartAndWait(const std::wstring& commandLine, DWORD timeLimit) {
    // Refused rather than cut: a shortened command could apply a wrong address.
    if (commandLine.size() > NetshMaxCommandLine) return {TNetshRun::NotStarted};
    std::wstring buffer = commandLine; // CreateProcessW may write into its command line
    const std::wstring program = NetshProgram();

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    // A console of its own with no window: a new console would be opened by the default
    // terminal, which may show it whatever wShowWindow says. Its output is not read, so it
    // inherits no handle.
    if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        &created))
        return {TNetshRun::NotStarted};
    ScopedHandle process(created.hProcess);
    ScopedHandle thread(created.hThread);

    // The windows answer their messages meanwhile, as they do during a WMI call: a switch of
    // several seconds must not make Windows show them as not responding.
    if (!WaitDispatchingMessages(process.Get(), timeLimit)) {
        // Stopped, so that the next command never runs beside a hung one.
        TerminateProcess(process.Get(), static_cast<UINT>(-1));
        WaitForSingleObject(process.Get(), 5000);
        return {TNetshRun::TimedOut};
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.Get(), &exitCode)) return {TNetshRun::NotStarted};
    return {TNetshRun::Exited, static_cast<int>(exitCode)};
}
} // namespace

TNetshRunObserver SetNetshRunObserver(TNetshRunObserver observer) {
    return std::exchange(RunObserver(), std::move(observer));
}

TNetshRun RunNetsh(const std::wstring& commandLine, DWORD timeLimit) {
    const TNetshRun run = StartAndWait(commandLine, timeLimit);
    if (RunObserver()) RunObserver()(commandLine, run);
    return run;
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

TSwitchResult NetshSwitchConnection(const std::wstring& connectionName, const TIpProfile& profile) {
    // Every value goes into a command line: one that is no plain address could add arguments.
    if (std::wstring fault = ProfileValueFault(profile, true); !fault.empty())
        return TSwitchResult::Failure(-1, std::move(fault));
    // The name goes in double quotes, as netsh would split a name with blanks ("以太网 2") into
    // several words, and a quote or backslash in it is escaped.
    const std::wstring name = QuotedArgument(connectionName, true);
    const std::wstring setAddress = L"netsh interface ip set address " + name;
    const std::wstring setDns = L"netsh interface ip set dns " + name;
    // Without it netsh contacts each server before it takes it: seconds each, and a failure for
    // a server of a network not joined yet.
    const std::wstring unvalidated = L" validate=no";
    // Later commands still run after a failure, but only the first failure is reported.
    TSwitchResult result;
    if (profile.UsesDhcp()) {
        result.Add(RunCommand(setAddress + L" dhcp "));
        result.Add(RunCommand(setDns + L" dhcp "));
    } else {
        const std::wstring& gateway = profile.DefaultIPGateway;
        // Without a gateway netsh would read the metric 1 as the gateway.
        const std::wstring route = gateway.empty() ? L"none" : gateway + L" 1";
        result.Add(RunCommand(setAddress + L" static " + profile.IPAddress + L" " +
                              AppliedMask(profile) + L" " + route));
        result.Add(
            RunCommand(setDns + (profile.DNSA.empty() ? L" static none"
                                                      : L" static " + profile.DNSA + unvalidated)));
        if (!profile.DNSB.empty())
            result.Add(RunCommand(L"netsh interface ip add dns " + name + L" " + profile.DNSB +
                                  unvalidated));
    }
    return result;
}
