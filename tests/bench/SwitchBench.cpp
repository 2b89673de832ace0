// Not a test: what a simulated switch costs the program beyond the adapters' own calls, and the
// memory after start and after the switches. Tarnwick's main window against the simulated
// provider at zero delay, shown as after a double click; each switch is SwitchTo and the
// repaint of its labels, alternating between a static profile and a DHCP one. The adapters'
// calls of the same profiles are then timed made straight to the WMI engine, and the whole
// window's repaint.
//   switch_bench [switches]   (100 when not given)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "core/ProgressWindow.h"
#include "core/Settings.h"
#include "core/WmiEngine.h"
#include "framework/Application.h"
#include "framework/StartFigures.h"
#include "sim/SimProvider.h"
#include "wmi/WmiComponent.h"

namespace {
double Now() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double Median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Profile A static, B by DHCP: both kinds of call, written to Config.ini and made directly.
struct TProfile {
    const wchar_t* Letter;
    const wchar_t* Address; // empty: DHCP
    const wchar_t* Mask;
    const wchar_t* Gateway;
    const wchar_t* Dns1;
    const wchar_t* Dns2;
};
const TProfile kProfiles[] = {
    {L"A", L"10.0.0.5", L"255.255.255.0", L"10.0.0.1", L"10.0.0.2", L"10.0.0.3"},
    {L"B", L"", L"", L"", L"", L""},
};

void WriteProfiles(const std::wstring& config) {
    const auto write = [&](const wchar_t* section, const wchar_t* key, const wchar_t* value) {
        WritePrivateProfileStringW(section, key, value, config.c_str());
    };
    write(L"NET", L"NET", L"A");
    for (const TProfile& p : kProfiles) {
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

void PrintMemory(const char* when) {
    const TProcessFigures figures = ProcessFigures();
    std::printf("memory %s: peak working set %llu bytes, private %llu bytes\n", when,
                static_cast<unsigned long long>(figures.PeakWorkingSet),
                static_cast<unsigned long long>(figures.PrivateBytes));
}
} // namespace

int main(int argc, char** argv) {
    const int switches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    TApplication& app = Application();
    ChainComSecurityIntoStartup();
    app.Initialize();
    app.SetTitle(L"Tarnwick");
    const std::wstring config = ExecutableFolder() + L"Config.ini";
    // Its profiles are the bench's own; a person's Config.ini stays as it is.
    if (GetFileAttributesW(config.c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::printf("switch_bench: a Config.ini is already beside switch_bench.exe\n");
        return 1;
    }
    WriteProfiles(config);
    TSimProvider::Install();
    auto* window = app.CreateForm<TfrmMainWindow>(true);
    window->Show();
    // Start-up: the window goes to the tray.
    const ULONGLONG settled = GetTickCount64() + 1000;
    while (GetTickCount64() < settled) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        app.ProcessMessages();
    }
    PrintMemory("after start");
    window->ShowWindow1Click(window);
    UpdateWindow(window->Handle());
    // The first switch also looks up the connection name: not timed.
    window->SwitchTo(L"B");
    app.ProcessMessages();

    std::vector<double> viaWindow, direct;
    for (int i = 0; i < switches; ++i) {
        const TProfile& p = kProfiles[i % 2];
        const double start = Now();
        const int code = window->SwitchTo(p.Letter);
        UpdateWindow(window->Handle());
        viaWindow.push_back(Now() - start);
        if (code != 0) std::printf("switch %d to %ls answered %d\n", i, p.Letter, code);
        app.ProcessMessages();
    }
    PrintMemory(("after " + std::to_string(switches) + " switches").c_str());
    for (int i = 0; i < switches; ++i) {
        const TProfile& p = kProfiles[i % 2];
        const double start = Now();
        WmiSetAddress(p.Address, p.Gateway, p.Mask);
        WmiSetDns(p.Dns1, p.Dns2);
        direct.push_back(Now() - start);
    }
    std::vector<double> paints;
    for (int i = 0; i < 50; ++i) {
        const double start = Now();
        InvalidateRect(window->Handle(), nullptr, FALSE);
        UpdateWindow(window->Handle());
        paints.push_back(Now() - start);
    }
    std::printf("whole-window paint: median %.3f ms\n", Median(paints));
    // The part of the switch's own cost that is its progress window.
    std::vector<double> progress;
    for (int i = 0; i < 20; ++i) {
        const double start = Now();
        ShowProgressMessage(L"正在切换到A,请稍后...");
        CloseProgress();
        progress.push_back(Now() - start);
    }
    std::printf("progress window shown and closed: median %.3f ms\n", Median(progress));
    const double whole = Median(viaWindow), calls = Median(direct);
    std::printf("switch through the main window: median %.3f ms (%d switches)\n", whole, switches);
    std::printf("the same adapter calls made directly: median %.3f ms\n", calls);
    std::printf("the switch's own cost: %.3f ms\n", whole - calls);
    std::fflush(stdout);
    app.Finalize();
    TSimProvider::Uninstall();
    DeleteFileW(config.c_str());
    return 0;
}
