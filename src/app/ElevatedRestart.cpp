#include "app/ElevatedRestart.h"

#include <utility>

#include "framework/Application.h"
#include "framework/CommandLine.h"

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

bool StartElevatedCopy(const TSimulationOptions& options, const std::wstring& profile, HWND owner) {
    const std::wstring exe = Application().ExeName();
    const std::wstring folder = FolderOf(exe);
    const std::wstring parameters = ElevatedCopyParameters(options, profile);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = exe.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    // The prompt refused: ERROR_CANCELLED, nothing to say.
    return (ShellExecuteOverride() ? ShellExecuteOverride()(&info) : ShellExecuteExW(&info)) !=
           FALSE;
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
