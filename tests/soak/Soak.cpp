// The soak: Tarnwick in simulation mode through a long use in one process. Switches through
// the main window with both engines, cable events through the watcher (a share of them
// switching), and openings of the configuration dialog with the About box. Its GDI and USER
// objects, handles, private bytes and live simulated objects are printed as it goes, and must
// stay flat.
//   soak_tests [switches [events [dialogs [netsh switches [switching reconnects per 500]]]]]
//   (1000, 10000, 200, 40 and 30 when not given)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/SimulatedTray.h"
#include "core/NetshEngine.h"
#include "core/Settings.h"
#include "framework/StartFigures.h"
#include "sim/SimDispatch.h"
#include "sim/SimProvider.h"
#include "support/DialogAnswerer.h"
#include "support/MessageBoxes.h"
#include "support/ObjectCounts.h"
#include "support/Pumping.h"
#include "support/Seams.h"

namespace {

// What "flat" allows, from this soak's measurements under Wine. Each phase is compared with
// itself after its first step, the warm-up: the first switches look up the connection name and
// start the first netsh, the first reconnect shows the first balloon, the first dialogs create
// what is kept for the process's life (8 handles, 2 USER objects, and 8 and 121 GDI objects,
// these Wine's: its cache of window DCs with their regions, the bitmaps that frames and
// controls are drawn with, and the system colours' brushes and pens). From there on GDI
// objects, USER objects and live simulated objects were exactly equal at every sample, and so
// they must stay; the bytes in the program's own heap stayed within about 100 (a buffer in use
// when a sample is taken), and may move by a few kilobytes; handles were equal too, and may
// move by a few (a worker's wait, a netsh child being reaped). Private bytes stayed within 4 KB
// over the switches and the cable events; over the dialogs they grow by 0.8 to 1 KB an
// opening, all of it Wine's: its static control keeps 24 bytes (48 with the heap's own) of
// every one that was given a font, and the dialog has 16 (the About box 2 more). The margin of
// 256 KB lets that through while one leaked kilobyte a switch (900 KB) shows; a leak of ours
// over the dialogs shows in the program's heap instead.
constexpr long kHandleSlack = 4;
constexpr long long kPrivateSlack = 256 * 1024;
constexpr long long kOwnHeapSlack = 4 * 1024;
// The soak never takes this long; a hang ends the program instead of the suite's time-out.
constexpr int kWatchdogSeconds = 450;

struct TFigures {
    long Gdi = 0;
    long User = 0;
    long Handles = 0;
    long long Private = 0;
    long long OwnHeap = 0;
    long Simulated = 0;
};

TFigures Sample() {
    // Work posted by the last step (a release, a destroy) is done first.
    PumpFor(100);
    TFigures f;
    f.Gdi = static_cast<long>(GdiObjectCount());
    f.User = static_cast<long>(UserObjectCount());
    f.Handles = static_cast<long>(HandleCount());
    f.Private = static_cast<long long>(ProcessFigures().PrivateBytes);
    f.OwnHeap = static_cast<long long>(OwnHeapBytes());
    f.Simulated = TSimDispatch::LiveDispatchObjects();
    return f;
}

// One phase's samples: [0] before it, then one after each step.
class TPhase {
public:
    explicit TPhase(const char* unit) : FUnit(unit) {}
    void Mark(int done) {
        TFigures f = Sample();
        // The samples' own record, which grows as they come, is the soak's and not counted.
        f.OwnHeap -= static_cast<long long>(FMarks.capacity() * sizeof(TFigures));
        FMarks.push_back(f);
        std::printf("%-8s %6d: GDI %4ld  USER %4ld  handles %5ld  private %10lld bytes  "
                    "own heap %8lld bytes  simulated objects %4ld\n",
                    FUnit, done, f.Gdi, f.User, f.Handles, f.Private, f.OwnHeap, f.Simulated);
        std::fflush(stdout);
    }
    // Every sample after the warm-up against the first of them; prints what grew.
    bool Flat() const {
        if (FMarks.size() < 3) return true;
        const TFigures& base = FMarks[1];
        bool flat = true;
        for (size_t i = 2; i < FMarks.size(); ++i) {
            const TFigures& f = FMarks[i];
            const auto check = [&](const char* what, long long value, long long was,
                                   long long slack) {
                if (std::llabs(value - was) <= slack) return;
                std::printf("not flat: %s %s %lld at step %zu, %lld after the warm-up\n", FUnit,
                            what, value, i, was);
                flat = false;
            };
            check("GDI objects", f.Gdi, base.Gdi, 0);
            check("USER objects", f.User, base.User, 0);
            check("simulated objects", f.Simulated, base.Simulated, 0);
            check("handles", f.Handles, base.Handles, kHandleSlack);
            check("private bytes", f.Private, base.Private, kPrivateSlack);
            check("own heap bytes", f.OwnHeap, base.OwnHeap, kOwnHeapSlack);
        }
        return flat;
    }

private:
    const char* FUnit;
    std::vector<TFigures> FMarks;
};

double Now() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int Failures = 0;
void Fail(const char* what, int step) {
    if (++Failures <= 20) std::printf("failed: %s (step %d)\n", what, step);
}

// Wine now and then fails to start a process at all ("failed to map the shared user data:
// c0000018"): it ends with code 1 before its first line runs, so the stand-in never logged its
// command. That start is Wine's fault, not ours: told apart by the log, and made once more.
class TWineStartFaults {
public:
    // log: the stand-in's; messages: the boxes the program showed, where a switch that Wine
    // made fail leaves its failure box.
    TWineStartFaults(std::wstring log, std::vector<std::wstring>& messages)
        : FLog(std::move(log)), FMessages(messages),
          FObserver(&SetNetshRunObserver, [this](const std::wstring&, const TNetshRun& run) {
              ++FRuns;
              FLastFailedAtStart = run.Kind == TNetshRun::Exited && run.ExitCode == 1;
          }) {}

    // Before an attempt.
    void Begin() {
        FRuns = 0;
        FLogStart = LogSize();
        FBoxes = FMessages.size();
    }
    // After a failed one: its last start ended with 1 and never reached the stand-in. Says so,
    // and forgets the attempt's failure box and the address it may have set before.
    bool WinesFault() {
        if (FRuns == 0 || !FLastFailedAtStart || Logged() != FRuns - 1) return false;
        std::printf("soak: Wine failed to start the stand-in netsh (it never ran: Wine's \"failed "
                    "to map the shared user data\"); made once more\n");
        FMessages.resize(FBoxes);
        FRetriedAddresses += AddressesLogged();
        return true;
    }
    // Address commands of attempts made again: the log has them beside the switches'.
    int RetriedAddresses() const { return FRetriedAddresses; }

private:
    long LogSize() const;
    int Logged() const;
    int AddressesLogged() const;

    std::wstring FLog;
    std::vector<std::wstring>& FMessages;
    int FRuns = 0;
    bool FLastFailedAtStart = false;
    long FLogStart = 0;
    size_t FBoxes = 0;
    int FRetriedAddresses = 0;
    const ScopedSeam<TNetshRunObserver> FObserver; // last: it reads the counts above
};

// A switch, made once more when Wine failed to start the stand-in netsh for it.
int64_t SwitchAllowingWineStartFault(TfrmMainWindow& window, const std::wstring& profile,
                                     TWineStartFaults& faults) {
    faults.Begin();
    const int64_t code = window.SwitchTo(profile);
    if (code == 0 || !faults.WinesFault()) return code;
    return window.SwitchTo(profile);
}

void UseEngine(bool netsh) {
    ConfigIni().WriteString(L"NET", L"Method", netsh ? L"B" : L"A");
}

// Profiles alternate, so each switch is a change. Engines go by pairs, so both profiles go
// through both; netsh has only netshCount of the switches, its pairs spread evenly: a netsh
// switch starts the stand-in two or three times and takes half a second to a second under Wine,
// where a WMI switch takes 25 to 40 ms.
int Switches(TfrmMainWindow& window, int count, int netshCount, TWineStartFaults& faults) {
    TPhase phase("switches");
    phase.Mark(0);
    // Shown, as after a click on the tray icon: every switch repaints the labels.
    window.ShowWindow1Click(&window);
    double spent[2] = {0, 0};
    int made[2] = {0, 0};
    const int stride = netshCount > 1 ? std::max(1, count / netshCount) : count + 1;
    for (int i = 0; i < count; ++i) {
        const bool netsh = (i / 2) % stride == stride - 1;
        UseEngine(netsh);
        const double start = Now();
        // The profile that is not active: the window starts with A.
        if (SwitchAllowingWineStartFault(window, i % 2 ? L"A" : L"B", faults) != 0)
            Fail("a switch through the window", i);
        UpdateWindow(window.Handle());
        spent[netsh] += Now() - start;
        ++made[netsh];
        Application().ProcessMessages();
        if ((i + 1) % 100 == 0) phase.Mark(i + 1);
    }
    window.HideWindow1Click(&window);
    for (int netsh = 0; netsh < 2; ++netsh)
        if (made[netsh])
            std::printf("%s switches: %d, %.1f ms each on average\n", netsh ? "netsh" : "WMI",
                        made[netsh], spent[netsh] / made[netsh]);
    return phase.Flat() ? made[1] : -1;
}

// The watcher's deliveries counted on their way to the window's own handlers.
struct TDeliveries {
    int Connects = 0;
    int Disconnects = 0;
};

// Events in blocks of 1 000: a share of each block are a cable moved as --simulate-cable moves
// it with the option to switch on, each connect switching, the first of each block with netsh;
// the rest come in one burst with the option off, which the window hears and ignores.
int MediaEvents(TfrmMainWindow& window, int count, int switchingPairs, int& autoNetsh,
                TWineStartFaults& faults) {
    TDeliveries seen;
    window.netEvent1->SetOnNetworkConnect([&](TComponent* s, const std::wstring& a) {
        window.netEvent1NetworkConnect(s, a);
        ++seen.Connects;
    });
    window.netEvent1->SetOnNetworkDisconnect([&](TComponent* s, const std::wstring& a) {
        window.netEvent1NetworkDisconnect(s, a);
        ++seen.Disconnects;
    });
    TSimProvider& sim = *TSimProvider::Installed();
    const std::wstring adapter = sim.Adapters().front().Description;
    // A network that does not answer is given little time: the soak counts events, not waits.
    window.AutoSwitch().SetProbeTimes({100, 200, 20});
    sim.SetArpTimeout(50);
    for (TSimNetwork& network : sim.Networks()) {
        network.ArpDelayMs = 10;
        network.LeaseDelayMs = 50;
    }
    TPhase phase("events");
    phase.Mark(0);
    int raised = 0, switched = 0;
    for (int block = 0; raised < count; ++block) {
        const double blockStart = Now();
        const int pairs = std::min(500, (count - raised) / 2);
        const int moved = std::min(switchingPairs, pairs);
        ConfigIni().WriteString(L"NET", L"AutoSwitch", L"1");
        for (int k = 0; k < moved; ++k) {
            const bool netsh = k == 0;
            UseEngine(netsh);
            const std::wstring active = ConfigIni().ReadString(L"NET", L"NET", L"");
            const TDeliveries before = seen;
            faults.Begin();
            RunAsCableMover(L"soak_tests --simulate-cable=unplug");
            // The two arrive by workers of their own, in either order; a connect switches once
            // per disconnect heard before it, so the plug waits until the unplug was heard, as
            // a person's hand takes longer than a delivery.
            if (!PumpUntil([&] { return seen.Disconnects > before.Disconnects; }, 5000))
                Fail("an unplugged cable was not heard", raised);
            // Into the network of the other profile: the one the active profile is for
            // answers nothing there, so the reconnect switches once the question is answered.
            RunAsCableMover(active == L"A" ? L"soak_tests --simulate-cable=plug:外网"
                                           : L"soak_tests --simulate-cable=plug:内网");
            if (!PumpUntil(
                    [&] {
                        return seen.Connects > before.Connects &&
                               seen.Disconnects > before.Disconnects;
                    },
                    10000))
                Fail("a moved cable was not heard", raised);
            PumpUntil([&] { return !window.AutoSwitch().Asking(); }, 10000);
            // The reconnect's switch made again, as the user would by a double click.
            if (ConfigIni().ReadString(L"NET", L"NET", L"") == active && faults.WinesFault())
                window.SwitchTo(active == L"A" ? L"B" : L"A");
            if (ConfigIni().ReadString(L"NET", L"NET", L"") == active) {
                Fail("a reconnect did not switch", raised);
            } else {
                ++switched;
                autoNetsh += netsh;
            }
            raised += 2;
        }
        const double burst = Now();
        ConfigIni().WriteString(L"NET", L"AutoSwitch", L"0");
        const std::wstring active = ConfigIni().ReadString(L"NET", L"NET", L"");
        const TDeliveries expected{seen.Connects + pairs - moved, seen.Disconnects + pairs - moved};
        for (int k = moved; k < pairs; ++k) {
            sim.RaiseMediaEvent(false, adapter);
            sim.RaiseMediaEvent(true, adapter);
        }
        raised += 2 * (pairs - moved);
        if (!PumpUntil(
                [&] {
                    return seen.Connects >= expected.Connects &&
                           seen.Disconnects >= expected.Disconnects;
                },
                30000))
            Fail("a burst of cable events was not all heard", raised);
        if (ConfigIni().ReadString(L"NET", L"NET", L"") != active)
            Fail("a reconnect switched with the option off", raised);
        std::printf("block %d: %d switching pairs in %.1f s, burst of %d pairs in %.1f s\n", block,
                    moved, (burst - blockStart) / 1000, pairs - moved, (Now() - burst) / 1000);
        phase.Mark(raised);
        if (pairs == 0) break;
    }
    window.netEvent1->SetOnNetworkConnect(
        [&](TComponent* s, const std::wstring& a) { window.netEvent1NetworkConnect(s, a); });
    window.netEvent1->SetOnNetworkDisconnect(
        [&](TComponent* s, const std::wstring& a) { window.netEvent1NetworkDisconnect(s, a); });
    std::printf("cable events: %d raised, %d connects and %d disconnects heard, %d switched\n",
                raised, seen.Connects, seen.Disconnects, switched);
    return phase.Flat() ? switched : -1;
}

// The About box opened from the dialog closes itself again.
void CALLBACK CloseAboutBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND about = FindWindowW(L"TarnwickForm", L"关于程序");
    if (about && IsWindowVisible(about)) SendMessageW(about, WM_CLOSE, 0, 0);
}

// Opened from the main window's link and closed with its close box; every other time its
// About box is opened and closed first.
int Dialogs(TfrmMainWindow& window, int count) {
    TPhase phase("dialogs");
    phase.Mark(0);
    window.ShowWindow1Click(&window);
    DialogAnswerer answerer;
    int abouts = 0;
    answerer.WhileOpen = [&](TfrmConfig& dialog) {
        if (answerer.Opened % 2) return;
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, &CloseAboutBox);
        dialog.btn3->Click();
        KillTimer(nullptr, timer);
        ++abouts;
    };
    for (int i = 0; i < count; ++i) {
        const int opened = answerer.Opened;
        window.lbl1Click(&window);
        if (answerer.Opened != opened + 1) Fail("the dialog did not open once", i);
        if ((i + 1) % 20 == 0) phase.Mark(i + 1);
    }
    window.HideWindow1Click(&window);
    std::printf("dialogs: %d opened and closed, %d About boxes\n", answerer.Opened, abouts);
    return phase.Flat() ? abouts : -1;
}

// Lines of the simulated log from offset on that hold text.
int LogLines(const std::wstring& path, long offset, const char* text) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return 0;
    std::fseek(f, offset, SEEK_SET);
    int lines = 0;
    char line[1024];
    while (std::fgets(line, sizeof line, f))
        lines += std::strstr(line, text) != nullptr;
    std::fclose(f);
    return lines;
}

long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return static_cast<long>(data.nFileSizeLow);
}

long TWineStartFaults::LogSize() const {
    return FileSize(FLog);
}

// The stand-in's own lines: its command line, which starts with the program's name.
int TWineStartFaults::Logged() const {
    return LogLines(FLog, FLogStart, "netsh interface");
}

int TWineStartFaults::AddressesLogged() const {
    return LogLines(FLog, FLogStart, "netsh interface ip set address");
}

} // namespace

int main(int argc, char** argv) {
    // Started by the netsh engine as its stand-in netsh.
    if (const auto code = RunAsSimulatedNetsh()) return *code;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const TWatchdog watchdog(kWatchdogSeconds);
    const int switches = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int events = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int dialogs = argc > 3 ? std::atoi(argv[3]) : 200;
    const int netshSwitches = argc > 4 ? std::atoi(argv[4]) : 40;
    // Reconnects that switch, out of each block's 500.
    const int switchingPairs = argc > 5 ? std::atoi(argv[5]) : 30;
    const double begin = Now();
    std::vector<std::wstring> messages;
    // Kept to the end: the window's last steps may still have something to say.
    const ScopedMessageBoxes recorder = RecordMessageBoxes(messages);
    bool flat = true;
    {
        TSimulatedTray tarnwick;
        if (!tarnwick.OwnsConfig()) {
            std::printf("soak_tests: a Config.ini is already beside soak_tests.exe\n");
            return 1;
        }
        TfrmMainWindow& window = tarnwick.Window();
        if (!PumpUntil([&] { return !IsWindowVisible(window.Handle()); }, 5000))
            Fail("the window did not go to the tray", 0);
        const long logStart = FileSize(tarnwick.LogPath());

        double start = Now();
        TWineStartFaults faults(tarnwick.LogPath(), messages);
        const int netsh = Switches(window, switches, netshSwitches, faults);
        std::printf("switches took %.1f s\n", (Now() - start) / 1000);
        start = Now();
        int autoNetsh = 0;
        const int autoSwitches = MediaEvents(window, events, switchingPairs, autoNetsh, faults);
        std::printf("events took %.1f s\n", (Now() - start) / 1000);
        start = Now();
        const int abouts = Dialogs(window, dialogs);
        std::printf("dialogs took %.1f s\n", (Now() - start) / 1000);
        flat = netsh >= 0 && autoSwitches >= 0 && abouts >= 0;

        // Every netsh switch ran the stand-in once for its address at least.
        const int netshLines =
            LogLines(tarnwick.LogPath(), logStart, "netsh interface ip set address");
        if (netsh >= 0 && autoSwitches >= 0 &&
            netshLines != netsh + autoNetsh + faults.RetriedAddresses())
            Fail("the stand-in netsh did not record every netsh switch", netshLines);
        std::printf("simulated log: %d netsh address commands, %d WMI address calls\n", netshLines,
                    LogLines(tarnwick.LogPath(), logStart, "EnableStatic(") +
                        LogLines(tarnwick.LogPath(), logStart, "EnableDHCP("));
    }
    for (const std::wstring& text : messages)
        std::printf("message box: %ls\n", text.c_str());
    std::printf("soak took %.1f s\n", (Now() - begin) / 1000);
    const bool passed = flat && Failures == 0 && messages.empty();
    std::printf("soak: %s\n", passed ? "flat, passed" : "FAILED");
    return passed ? 0 : 1;
}
