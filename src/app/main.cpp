// Program entry: the application object, its title, the main window, the message loop.
#include <windows.h>

#include "app/ExitWhenIdle.h"
#include "app/MainWindow.h"
#include "app/Simulation.h"
#include "core/ProgressWindow.h"
#include "framework/Application.h"
#include "wmi/WmiComponent.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Started by a simulated instance as its netsh: nothing of the program itself may run.
    if (const std::optional<int> code = RunAsSimulatedNetsh()) return *code;
    if (const std::optional<int> code = RunAsCableMover(GetCommandLineW())) {
        if (*code == 2) MessageBoxW(nullptr, SimulationUsage, L"Tarnwick", MB_OK | MB_ICONERROR);
        return *code;
    }
    const std::optional<TSimulationOptions> simulation = ParseSimulationOptions(GetCommandLineW());
    const std::optional<std::wstring> idleReport = ParseExitWhenIdle(GetCommandLineW());
    if (!simulation || (idleReport && idleReport->empty())) {
        MessageBoxW(nullptr, SimulationUsage, L"Tarnwick", MB_OK | MB_ICONERROR);
        return 2;
    }

    TApplication& app = Application();
    // COM and its process-wide security, before any window exists.
    ChainComSecurityIntoStartup();
    app.Initialize();
    app.SetTitle(L"Tarnwick");
    bool mainLoopRunning = false;
    if (idleReport) ExitWhenIdle(*idleReport, mainLoopRunning);
    GuardedCall([&] {
        StartSimulation(*simulation);
        TfrmMainWindow* mainWindow = app.CreateForm<TfrmMainWindow>(simulation->Enabled);
        // A window on its way to the tray is not shown first: nobody would see it, yet it
        // would be painted, its picture decoded and its labels' effects drawn.
        if (!mainWindow->GoesToTray()) mainWindow->Show();
        mainLoopRunning = true;
        app.Run();
    });
    CloseProgress();
    app.Finalize();
    StopSimulation();
    return 0;
}
