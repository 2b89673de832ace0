// Program entry: the application object, its title, the main window, the message loop.
#include <windows.h>

#include "app/MainWindow.h"
#include "app/Simulation.h"
#include "core/ProgressWindow.h"
#include "framework/Application.h"
#include "wmi/WmiComponent.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    TApplication& app = Application();
    // COM and its process-wide security, before any window exists.
    ChainComSecurityIntoStartup();
    app.Initialize();
    app.SetTitle(L"Tarnwick");
    GuardedCall([&] {
        const TSimulationOptions simulation = ParseSimulationOptions(GetCommandLineW());
        StartSimulation(simulation);
        TForm* mainWindow = app.CreateForm<TfrmMainWindow>(simulation.Enabled);
        mainWindow->Show();
        app.Run();
    });
    CloseProgress();
    app.Finalize();
    StopSimulation();
    return 0;
}
