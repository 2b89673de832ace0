#pragma once
// Tarnwick started as the benchmarks measure it: in simulation mode and configured, so its main
// window goes to the tray. Ending it also removes a Config.ini it had to write.
#include <windows.h>

#include <string>

#include "app/MainWindow.h"
#include "app/Simulation.h"
#include "framework/Application.h"
#include "wmi/WmiComponent.h"

class TSimulatedTray {
public:
    TSimulatedTray() {
        TApplication& app = Application();
        ChainComSecurityIntoStartup();
        app.Initialize();
        app.SetTitle(L"Tarnwick");
        const std::wstring exe = app.ExeName();
        FConfig = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"Config.ini";
        // Without a Config.ini the first run opens the configuration dialog instead.
        FOwnConfig = GetFileAttributesW(FConfig.c_str()) == INVALID_FILE_ATTRIBUTES;
        if (FOwnConfig) WritePrivateProfileStringW(L"NET", L"NET", L"A", FConfig.c_str());
        TSimulationOptions simulation;
        simulation.Enabled = true;
        StartSimulation(simulation);
        app.CreateForm<TfrmMainWindow>(true)->Show();
    }
    ~TSimulatedTray() {
        Application().Finalize();
        StopSimulation();
        if (FOwnConfig) DeleteFileW(FConfig.c_str());
    }
    TSimulatedTray(const TSimulatedTray&) = delete;
    TSimulatedTray& operator=(const TSimulatedTray&) = delete;

private:
    std::wstring FConfig;
    bool FOwnConfig = false;
};
