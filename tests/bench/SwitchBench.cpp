// Not a test: what a simulated switch costs the program beyond the adapters' own calls, and the
// memory after start and after the switches. Tarnwick's main window against the simulated
// provider at zero delay, shown as after a double click; each switch is SwitchTo and the
// repaint of its labels, alternating between a static profile and a DHCP one. The adapters'
// calls of the same profiles are then timed made straight to the WMI engine, and the whole
// window's repaint. Then the same switches requested through the service's pipe, as a tray of an
// installed Tarnwick requests them: from the request to the answer.
//   switch_bench [switches]   (100 when not given)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "SimulatedTray.h"
#include "app/ProgressWindow.h"
#include "core/ProfileSwitch.h"
#include "core/ServicePipe.h"
#include "core/SwitchService.h"
#include "framework/StartFigures.h"
#include "sim/SimProvider.h"

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

void PrintMemory(const char* when) {
    const TProcessFigures figures = ProcessFigures();
    std::printf("memory %s: peak working set %llu bytes, private %llu bytes\n", when,
                static_cast<unsigned long long>(figures.PeakWorkingSet),
                static_cast<unsigned long long>(figures.PrivateBytes));
}
} // namespace

int main(int argc, char** argv) {
    const int switches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    TSimulatedTray tarnwick;
    // Its profiles are the bench's own; a person's Config.ini stays as it is.
    if (!tarnwick.OwnsConfig()) {
        std::printf("switch_bench: a Config.ini is already beside switch_bench.exe\n");
        return 1;
    }
    // The provider's calls as they are, without the line each appends to the simulation's log.
    TSimProvider::Installed()->OnCall = nullptr;
    TApplication& app = Application();
    TfrmMainWindow* window = &tarnwick.Window();
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
        const TSimulatedProfile& p = SimulatedProfiles[i % 2];
        const double start = Now();
        const int code = window->SwitchTo(p.Letter);
        UpdateWindow(window->Handle());
        viaWindow.push_back(Now() - start);
        if (code != 0) std::printf("switch %d to %ls answered %d\n", i, p.Letter, code);
        app.ProcessMessages();
    }
    PrintMemory(("after " + std::to_string(switches) + " switches").c_str());
    for (int i = 0; i < switches; ++i) {
        const TSimulatedProfile& p = SimulatedProfiles[i % 2];
        const double start = Now();
        ApplyProfile(p.Letter);
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
    // The service on this thread, as on its own; each request from another, as from a tray.
    std::vector<double> viaService;
    {
        const std::wstring pipe =
            L"\\\\.\\pipe\\TarnwickBench-" + std::to_wstring(GetCurrentProcessId());
        TSwitchService service(pipe);
        if (!service.Start()) std::printf("switch_bench: the service's pipe could not be made\n");
        for (int i = 0; i < switches; ++i) {
            const TSimulatedProfile& p = SimulatedProfiles[i % 2];
            const auto kind = p.Letter == std::wstring(L"A") ? TServiceRequestKind::SwitchToA
                                                             : TServiceRequestKind::SwitchToB;
            const double start = Now();
            auto answer =
                std::async(std::launch::async, [&] { return AskService(kind, 30000, pipe); });
            while (answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
                app.ProcessMessages();
            }
            viaService.push_back(Now() - start);
            const auto state = answer.get();
            if (!state || state->Code != 0) std::printf("service switch %d failed\n", i);
        }
    }
    std::printf("switch requested through the service: median %.3f ms (%d switches)\n",
                Median(viaService), switches);
    const double whole = Median(viaWindow), calls = Median(direct);
    std::printf("switch through the main window: median %.3f ms (%d switches)\n", whole, switches);
    std::printf("the same adapter calls made directly: median %.3f ms\n", calls);
    std::printf("the switch's own cost: %.3f ms\n", whole - calls);
    std::fflush(stdout);
    return 0;
}
