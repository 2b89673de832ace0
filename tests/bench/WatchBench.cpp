// Not a test: the network-event watcher's figures. Event-to-handler latency (median and worst
// of 100), the time to stop both workers, the time from a connect to automatic switching's
// decision, and the idle program's CPU time and wake-ups per
// second per thread beside an empty message-loop program measured at the same time.
//   watch_bench [idle seconds]   (60 when not given)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "SimulatedTray.h"
#include "app/SimulatedNetwork.h"
#include "core/AutoSwitch.h"
#include "core/ProfileSwitch.h"
#include "core/Settings.h"
#include "ThreadFigures.h"
#include "sim/SimProvider.h"
#include "wmi/WmiSystemEvents.h"
#include "../support/Seams.h"

namespace {
double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return count.QuadPart * 1000.0 / frequency.QuadPart;
}

// Runs the message loop until done() holds or the time is up; false when it is up.
template <typename F> bool PumpUntil(F done, DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        MsgWaitForMultipleObjects(
            0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 5)), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

void PrintSpread(const char* what, std::vector<double> values, const char* goal) {
    std::sort(values.begin(), values.end());
    std::printf("%-36s median %7.1f ms  worst %7.1f ms  (%zu runs; goal %s)\n", what,
                values[values.size() / 2], values.back(), values.size(), goal);
}

void MeasureWatcher() {
    TSimProvider& provider = TSimProvider::Install();
    TWmiSystemEvents watcher(nullptr);
    watcher.SetPoolingInterval(10);
    double handled = 0;
    int connects = 0;
    watcher.SetOnNetworkConnect([&](TComponent*, const std::wstring&) {
        handled = Now();
        ++connects;
    });
    watcher.SetOnNetworkDisconnect([](TComponent*, const std::wstring&) {});
    watcher.SetActive(true);
    std::vector<double> latencies;
    for (int i = 0; i < 100; ++i) {
        // Spread over the worker's 110 ms turn.
        PumpUntil([] { return false; }, 20 + (i * 37) % 100);
        const int before = connects;
        const double raised = Now();
        provider.RaiseMediaEvent(true, L"Intel(R) PRO/1000 MT Network Connection");
        if (!PumpUntil([&] { return connects > before; }, 2000)) {
            std::printf("event %d was not delivered within 2 s\n", i);
            continue;
        }
        latencies.push_back(handled - raised);
    }
    if (!latencies.empty())
        PrintSpread("event to handler", latencies, "<= 150 ms median, <= 250 ms worst");
    std::vector<double> stops;
    for (int i = 0; i < 20; ++i) {
        if (i) watcher.SetActive(true);
        PumpUntil([] { return false; }, 50 + (i * 29) % 100);
        const double start = Now();
        watcher.SetActive(false);
        stops.push_back(Now() - start);
    }
    PrintSpread("stop both workers", stops, "<= 250 ms");
    TSimProvider::Uninstall();
}

// From the connect to the decision of automatic switching, with the demo's networks: the cable
// back into 内网 (its gateway answers after the simulated ARP's delay), and into 外网 (where
// it does not, so the question takes the time the gateway is given).
void MeasureReconnect() {
    TSimProvider& provider = TSimProvider::Install();
    provider.SetDemoNetworks();
    const ScopedSeam<INetworkProbe*> network(&SetNetworkProbe, &SimulatedNetworkProbe());
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring config = std::wstring(folder) + L"tarnwick-reconnect-bench.ini";
    DeleteFileW(config.c_str());
    OpenSettingsAt(config);
    for (const auto& [key, value] : {std::pair{L"NET", L"A"}, {L"AutoSwitch", L"1"}})
        ConfigIni().WriteString(L"NET", key, value);
    for (const auto& [key, value] : {std::pair{L"IPAddress", L"10.20.30.41"},
                                     {L"IPSubnet", L"255.255.255.0"},
                                     {L"DefaultIPGateway", L"10.20.30.1"},
                                     {L"DNSEnabled", L"1"}})
        ConfigIni().WriteString(L"A", key, value);
    ConfigIni().WriteString(L"B", L"DHCPEnabled", L"1");
    SwitchProfile(L"A");
    double decided = 0;
    // Decisions only: the switch itself is measured by switch_bench.
    TAutoSwitch decision({[] { return true; },
                          [&](const std::wstring&) {
                              decided = Now();
                              return int64_t{-1};
                          },
                          nullptr, [&](const std::wstring&) { decided = Now(); }});
    const std::wstring wired = provider.Adapters().front().Description;
    for (const wchar_t* into : {L"内网", L"外网"}) {
        std::vector<double> spans;
        for (int i = 0; i < 5; ++i) {
            provider.MoveCable(wired, false);
            decision.Disconnected(wired);
            provider.MoveCable(wired, true, into);
            const double connected = Now();
            decided = 0;
            decision.Connected(wired);
            if (PumpUntil([&] { return !decision.Asking(); }, 10000) && decided > 0)
                spans.push_back(decided - connected);
        }
        const TSimNetwork& net = provider.Networks().front();
        char goal[120];
        std::snprintf(goal, sizeof goal, "%s; simulated ARP answer %lu ms, no answer 1000 ms a try",
                      into == std::wstring(L"内网") ? "same network"
                                                    : "other network, 3000 ms given",
                      static_cast<unsigned long>(net.ArpDelayMs));
        if (!spans.empty())
            PrintSpread(into == std::wstring(L"内网") ? "connect to decision, same network"
                                                      : "connect to decision, other network",
                        spans, goal);
    }
    OpenSettings();
    DeleteFileW(config.c_str());
    TSimProvider::Uninstall();
}

// Starts empty_loop beside this program for the same span; its figures print when it ends.
HANDLE StartEmptyLoop(DWORD seconds) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe = path;
    exe = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"empty_loop.exe";
    std::wstring command = L"\"" + exe + L"\" " + std::to_wstring(seconds);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // Its figures go where this program's go.
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("empty_loop.exe could not be started\n");
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

void MeasureIdle(DWORD seconds) {
    TSimulatedTray tarnwick;
    PumpUntil([] { return false; }, 1000); // start-up: the window goes to the tray
    HANDLE beside = StartEmptyLoop(seconds);
    std::printf("idle for %lu s, per thread:\n", static_cast<unsigned long>(seconds));
    std::fflush(stdout);
    const auto before = SampleThreads();
    const unsigned wakeUps = PumpFor(seconds * 1000);
    PrintThreads("Tarnwick idle in the tray", before, SampleThreads(), seconds, wakeUps);
    if (beside) {
        WaitForSingleObject(beside, 30000);
        CloseHandle(beside);
    }
}
} // namespace

int main(int argc, char** argv) {
    const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 60;
    SetCursorPos(5, 5);
    {
        ScopedComInitializer com;
        MeasureWatcher();
        MeasureReconnect();
    }
    std::fflush(stdout);
    MeasureIdle(seconds);
    return 0;
}
