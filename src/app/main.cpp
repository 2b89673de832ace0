// Program entry: the application object, its title, the main window, the message loop.
#include <windows.h>

#include <cstdlib>
#include <exception>
#include <functional>

#include "app/ElevatedRestart.h"
#include "app/ExitWhenIdle.h"
#include "app/InstallCommand.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "app/Simulation.h"
#include "app/SimulatedNetwork.h"
#include "app/ProgressWindow.h"
#include "app/ServiceHost.h"
#include "app/SettingsSaver.h"
#include "core/NetworkProbe.h"
#include "core/WmiEngine.h"
#include "core/ProgramFolder.h"
#include "framework/Application.h"
#include "framework/SystemLibrary.h"
#include "wmi/WmiComponent.h"

// What std::terminate calls: the process ends at once. The runtime's own handler would write the
// exception's name to a console this program does not have, and bring the C++ demangler's 45 KB
// into the exe to spell it. Nothing escapes a window procedure or a thread body anyway.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

namespace {
// Brings the program to the front: the main window from the tray, or, while it is still being
// made, the first run's dialog.
void ShowInstance(TfrmMainWindow* mainWindow) {
    if (mainWindow) return mainWindow->BringToFront();
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM) -> BOOL {
            if (!IsWindowVisible(window)) return TRUE;
            SetForegroundWindow(window);
            return FALSE;
        },
        0);
}

// Gives the instance up to the copy start starts; true when that copy took over (this one
// then ends), false when it did not start and this one goes on.
bool HandOver(TSingleInstance& instance, const std::wstring& name,
              const std::function<bool()>& start) {
    instance.Release();
    if (start()) {
        const ULONGLONG until = GetTickCount64() + 30000;
        while (!InstanceListening(name) && GetTickCount64() < until)
            WaitDispatchingMessages(nullptr, 100);
    }
    // The instance is whichever copy holds it now.
    return !instance.Claim();
}
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Every DLL loaded by name from now on, also by system code, comes from System32: one saved
    // beside the exe (in Downloads, say) must not run with an administrator's rights. What the
    // import table names is loaded before this line; it names KnownDLLs alone, and comctl32,
    // which the manifest sends to WinSxS. COM loads its servers (WMI's scripting objects in
    // System32\wbem, WIC, Task Scheduler) by their registered full paths, and a DLL loaded by
    // its full path has its own dependencies looked for in its folder first (the alternate
    // search order of "Dynamic-link library search order"), so they are still found.
    RestrictDllSearchToSystem32();
    // Started by a simulated instance as its netsh: nothing of the program itself may run.
    if (const std::optional<int> code = RunAsSimulatedNetsh()) return *code;
    if (const std::optional<int> code = RunAsCableMover(GetCommandLineW())) {
        if (*code == 2) MessageBoxW(nullptr, SimulationUsage, L"Tarnwick", MB_OK | MB_ICONERROR);
        return *code;
    }
    HoldOwnImage();
    TApplication& app = Application();
    app.SetTitle(L"Tarnwick");
    const std::optional<TSimulationOptions> simulation = ParseSimulationOptions(GetCommandLineW());
    const std::optional<std::wstring> idleReport = ParseExitWhenIdle(GetCommandLineW());
    const std::optional<TInstanceRequest> request = ParseStartRequest(GetCommandLineW());
    // Measuring writes a file: a tool of simulation mode, never asked of a real copy.
    if (!simulation || !request || (idleReport && (idleReport->empty() || !simulation->Enabled))) {
        MessageBoxW(nullptr, SimulationUsage, L"Tarnwick", MB_OK | MB_ICONERROR);
        return 2;
    }
    if (simulation->StandardUser) SetProcessElevatedFunction([] { return false; });
    // Installing or removing the install for every user, before anything of the tray runs.
    if (const std::optional<int> code = RunInstallCommand(GetCommandLineW(), *simulation)) {
        if (*code == 2) MessageBoxW(nullptr, SimulationUsage, L"Tarnwick", MB_OK | MB_ICONERROR);
        return *code;
    }
    // The service has no session and no window: nothing of the tray's start concerns it.
    if (const std::optional<int> code = RunAsService(GetCommandLineW(), *simulation)) return *code;
    if (const std::optional<int> code = RunAsSettingsSaver(GetCommandLineW(), *simulation))
        return *code;
    // One instance per session: a later start hands its request to the running one and ends
    // with its answer, unless it is to be the instance after all.
    const std::wstring name = InstanceName(simulation->Enabled);
    TSingleInstance instance(name);
    if (!instance.First())
        if (const std::optional<int> code = instance.HandRequestOver(*request, 5000)) {
            if (*code != InstanceNotAnswering) return *code;
            MessageBoxW(nullptr, L"已在运行的 Tarnwick 没有响应。", L"Tarnwick",
                        MB_OK | MB_ICONERROR);
            return 1;
        }

    // COM and its process-wide security, before any window exists.
    ChainComSecurityIntoStartup();
    app.Initialize();
    bool mainLoopRunning = false;
    if (idleReport) ExitWhenIdle(*idleReport, mainLoopRunning);
    TfrmMainWindow* mainWindow = nullptr;
    // Taken from the start: a later start during the first run's dialog comes to it.
    instance.Listen([&mainWindow](TInstanceRequest r) -> int64_t {
        if (r != TInstanceRequest::Show)
            return mainWindow ? mainWindow->SwitchTo(RequestedProfile(r)) : -1;
        ShowInstance(mainWindow);
        return 0;
    });
    GuardedCall([&] {
        StartSimulation(*simulation);
        // Real adapters are asked on the real network; simulated ones on the simulation's.
        if (!simulation->Enabled) SetNetworkProbe(&IpHelperProbe());
        // What the window asks of the program, given before it is made: the first run's dialog,
        // shown while it is made, may install.
        const auto prepare = [&](TfrmMainWindow& window) {
            window.OnRestartElevated = [&](const std::wstring& profile, HWND owner) {
                return HandOver(instance, name,
                                [&] { return StartElevatedCopy(*simulation, profile, owner); });
            };
            window.OnSaveSettingsElevated = [&](const std::wstring& arguments, HWND owner) {
                const std::optional<DWORD> code = RunElevatedCopy(*simulation, arguments, owner);
                return code && *code == 0;
            };
            window.OnInstallForAll = [&](HWND owner) -> std::wstring {
                const std::optional<DWORD> code = RunElevatedCopy(*simulation, L"--install", owner);
                if (!code || *code != 0) return {};
                return ProgramFilesFolder(ProgramFolderName(simulation->Enabled)) + L"Tarnwick.exe";
            };
        };
        mainWindow = app.CreateForm<TfrmMainWindow>(simulation->Enabled, prepare);
        // A simulated sleep stops the clock of automatic switching as a real one does.
        if (simulation->Enabled) mainWindow->AutoSwitch().SetClock(&SimulatedAwakeMs);
        mainWindow->OnStartCopy = [&](const std::wstring& exe) {
            return HandOver(instance, name, [&] { return StartProgram(exe, *simulation); });
        };
        if (mainWindow->StartCopyIfMade()) {
            app.Run();
            return;
        }
        // A window on its way to the tray is not shown first: nobody would see it, yet it
        // would be painted, its picture decoded and its labels' effects drawn.
        if (!mainWindow->GoesToTray()) mainWindow->Show();
        // Started to switch: as after a double click, then on to the tray as any start.
        if (*request != TInstanceRequest::Show) mainWindow->SwitchTo(RequestedProfile(*request));
        mainLoopRunning = true;
        app.Run();
    });
    mainWindow = nullptr;
    CloseProgress();
    app.Finalize();
    StopSimulation();
    return 0;
}
