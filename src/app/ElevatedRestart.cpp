#include "app/ElevatedRestart.h"

#include <utility>

#include "framework/Application.h"
#include "framework/CommandLine.h"
#include "framework/Scoped.h"

namespace {
std::function<BOOL(SHELLEXECUTEINFOW*)>& ShellExecuteOverride() {
    static std::function<BOOL(SHELLEXECUTEINFOW*)> f;
    return f;
}

TCreateProcess& CreateProcessOverride() {
    static TCreateProcess f;
    return f;
}

std::wstring FolderOf(const std::wstring& exe) {
    return exe.substr(0, exe.find_last_of(L'\\') + 1);
}

} // namespace

std::wstring ElevatedCopyParameters(const TSimulationOptions& options,
                                    const std::wstring& profile) {
    const std::wstring simulation = SimulationArguments(options);
    return (simulation.empty() ? L"" : simulation + L" ") + L"--switch=" + profile;
}

namespace {
// Starts this exe through the consent prompt; false when it did not start (the prompt refused:
// ERROR_CANCELLED, nothing to say). process: receives the copy's process when asked for.
bool RunAs(const std::wstring& parameters, HWND owner, HANDLE* process = nullptr) {
    const std::wstring exe = Application().ExeName();
    const std::wstring folder = FolderOf(exe);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | (process ? SEE_MASK_NOCLOSEPROCESS : 0);
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = exe.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    const bool started =
        (ShellExecuteOverride() ? ShellExecuteOverride()(&info) : ShellExecuteExW(&info)) != FALSE;
    if (process) *process = started ? info.hProcess : nullptr;
    return started;
}
} // namespace

bool StartElevatedCopy(const TSimulationOptions& options, const std::wstring& profile, HWND owner) {
    return RunAs(ElevatedCopyParameters(options, profile), owner);
}

std::optional<DWORD> RunElevatedCopy(const TSimulationOptions& options,
                                     const std::wstring& parameters, HWND owner) {
    const std::wstring simulation = SimulationArguments(options);
    HANDLE process = nullptr;
    if (!RunAs((simulation.empty() ? L"" : simulation + L" ") + parameters, owner, &process))
        return std::nullopt;
    // A copy started by a replaced shell call may have no process to wait for.
    if (!process) return 0;
    const ScopedHandle copy(process);
    while (!WaitDispatchingMessages(copy.Get(), INFINITE)) {
    }
    DWORD code = 1;
    GetExitCodeProcess(copy.Get(), &code);
    return code;
}

std::function<BOOL(SHELLEXECUTEINFOW*)>
SetShellExecuteFunction(std::function<BOOL(SHELLEXECUTEINFOW*)> f) {
    return std::exchange(ShellExecuteOverride(), std::move(f));
}

bool StartProgram(const std::wstring& exePath, const TSimulationOptions& options) {
    // Simulation mode stays simulation mode.
    const std::wstring simulation = SimulationArguments(options);
    const std::wstring commandLine =
        QuotedArgument(exePath, true) + (simulation.empty() ? L"" : L" " + simulation);
    const TCreateProcess& create =
        CreateProcessOverride() ? CreateProcessOverride() : TCreateProcess(StartProcess);
    return create(exePath, commandLine, FolderOf(exePath));
}

TCreateProcess SetCreateProcessFunction(TCreateProcess f) {
    return std::exchange(CreateProcessOverride(), std::move(f));
}
