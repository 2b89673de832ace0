#pragma once
// Tarnwick started as the benchmarks and the soak measure it: in simulation mode and
// configured, so its main window goes to the tray. A Config.ini it has to write holds two
// profiles, A static and B by DHCP; it and a simulated-network.log it started are removed again
// when it ends. Its netsh is the program
// it runs in: one that switches with netsh calls RunAsSimulatedNetsh first thing in main.
#include <windows.h>

#include <string>

#include "app/MainWindow.h"
#include "app/SimulatedNetwork.h"
#include "app/Simulation.h"
#include "framework/Application.h"
#include "wmi/WmiComponent.h"

// Profile A static, B by DHCP: both kinds of adapter call, for the simulated 内网 and 外网.
struct TSimulatedProfile {
    const wchar_t* Letter;
    const wchar_t* Address; // empty: DHCP
    const wchar_t* Mask;
    const wchar_t* Gateway;
    const wchar_t* Dns1;
    const wchar_t* Dns2;
};
inline constexpr TSimulatedProfile SimulatedProfiles[] = {
    {L"A", L"10.20.30.41", L"255.255.255.0", L"10.20.30.1", L"10.20.0.53", L"10.20.0.54"},
    {L"B", L"", L"", L"", L"", L""},
};

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
        if (FOwnConfig) WriteProfiles();
        FLog = FConfig.substr(0, FConfig.size() - 10) + L"simulated-network.log";
        FOwnLog = GetFileAttributesW(FLog.c_str()) == INVALID_FILE_ATTRIBUTES;
        TSimulationOptions simulation;
        simulation.Enabled = true;
        StartSimulation(simulation);
        FWindow = app.CreateForm<TfrmMainWindow>(true);
        FWindow->AutoSwitch().SetClock(&SimulatedAwakeMs);
        FWindow->Show();
    }
    ~TSimulatedTray() {
        Application().Finalize();
        StopSimulation();
        if (FOwnConfig) DeleteFileW(FConfig.c_str());
        if (FOwnLog) DeleteFileW(FLog.c_str());
    }
    TSimulatedTray(const TSimulatedTray&) = delete;
    TSimulatedTray& operator=(const TSimulatedTray&) = delete;

    TfrmMainWindow& Window() const { return *FWindow; }
    // False when a Config.ini was there already: its profiles are someone else's.
    bool OwnsConfig() const { return FOwnConfig; }
    // What the simulated adapters and the stand-in netsh received.
    const std::wstring& LogPath() const { return FLog; }

private:
    void WriteProfiles() const {
        const auto write = [&](const wchar_t* section, const wchar_t* key, const wchar_t* value) {
            WritePrivateProfileStringW(section, key, value, FConfig.c_str());
        };
        write(L"NET", L"NET", L"A");
        for (const TSimulatedProfile& p : SimulatedProfiles) {
            const bool dhcp = !*p.Address;
            write(p.Letter, L"Name", p.Letter);
            write(p.Letter, L"DHCPEnabled", dhcp ? L"1" : L"0");
            write(p.Letter, L"DNSEnabled", dhcp ? L"1" : L"0");
            write(p.Letter, L"IPAddress", p.Address);
            write(p.Letter, L"IPSubnet", p.Mask);
            write(p.Letter, L"DefaultIPGateway", p.Gateway);
            write(p.Letter, L"DNSA", p.Dns1);
            write(p.Letter, L"DNSB", p.Dns2);
        }
    }

    std::wstring FConfig, FLog;
    bool FOwnConfig = false, FOwnLog = false;
    TfrmMainWindow* FWindow = nullptr;
};
