#include "app/Simulation.h"

#include <windows.h>

#include <memory>
#include <thread>
#include <utility>

#include "app/SimulatedNetwork.h"
#include "core/NetshEngine.h"
#include "core/Settings.h"
#include "framework/Application.h"
#include "framework/CommandLine.h"
#include "framework/MessageWindow.h"
#include "framework/TextFile.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"
#include "sim/SimNetsh.h"
#include "sim/SimProvider.h"

namespace {
// Named per session, so a person's --simulate-cable or --simulate-power reaches the instance
// they see; a simulated service's machine, whichever session asks, in the global namespace.
const wchar_t kUnplugEvent[] = L"TarnwickSimulatedCableUnplug";
const wchar_t kPlugEvent[] = L"TarnwickSimulatedCablePlug";
const wchar_t kSuspendEvent[] = L"TarnwickSimulatedPowerSuspend";
const wchar_t kResumeEvent[] = L"TarnwickSimulatedPowerResume";
const wchar_t kSessionNamespace[] = L"Local\\";
const wchar_t kMachineNamespace[] = L"Global\\";

// The event --simulate-cable sets: of the wired adapter without an index, else of that one.
std::wstring CableEventName(bool plug, const std::wstring& index = {}) {
    return (plug ? kPlugEvent : kUnplugEvent) + (index.empty() ? L"" : L":" + index);
}

// The event of the wired adapter's plug into that network. A kernel object's name holds no
// backslash and a network's name may: it goes in as the hex digits of its characters, exactly.
std::wstring NetworkEventName(std::wstring_view network) {
    std::wstring name = std::wstring(kPlugEvent) + L"@";
    for (const wchar_t c : network)
        name += HexDigits(c, 4);
    return name;
}

// Waits, without polling, for --simulate-cable and --simulate-power and carries them out on the
// thread that owns the adapters: a cable moved by the provider (the link, the adapter's network,
// its media event and lease), or the machine put to sleep and woken, its windows told first.
class TRequestListener {
public:
    TRequestListener(const std::vector<TSimAdapter>& adapters,
                     const std::vector<TSimNetwork>& networks, std::wstring nameSpace)
        : FNamespace(std::move(nameSpace)) {
        const std::wstring wired = WiredAdapterName(adapters);
        AddCable(L"", wired);
        Add(kSuspendEvent, {TRequest::Suspend, false, {}, {}});
        Add(kResumeEvent, {TRequest::Resume, false, {}, {}});
        // WaitForMultipleObjects waits for 64 handles at most, the stop event among them.
        for (size_t i = 0; i < networks.size() && FRequests.size() + 1 < MAXIMUM_WAIT_OBJECTS; ++i)
            Add(NetworkEventName(networks[i].Name),
                {TRequest::Cable, true, wired, networks[i].Name});
        for (size_t i = 0; i < adapters.size() && FRequests.size() + 2 < MAXIMUM_WAIT_OBJECTS; ++i)
            AddCable(std::to_wstring(adapters[i].Index), adapters[i].Description);
        FWindow = CreateMessageWindow(L"TarnwickSimulatedCable", &WindowProc);
        if (!FStop || !FWindow) return;
        SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        FThread = std::thread([this] {
            std::vector<HANDLE> handles{FStop.Get()};
            for (const auto& [event, request] : FRequests)
                handles.push_back(event.Get());
            for (;;) {
                const DWORD which = WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                           handles.data(), FALSE, INFINITE);
                if (which <= WAIT_OBJECT_0 || which >= WAIT_OBJECT_0 + handles.size()) return;
                PostMessageW(FWindow, kRequested, which - WAIT_OBJECT_0 - 1, 0);
            }
        });
    }
    ~TRequestListener() {
        SetEvent(FStop.Get());
        if (FThread.joinable()) FThread.join();
        if (FWindow) DestroyWindow(FWindow);
    }

private:
    static constexpr UINT kRequested = WM_APP + 1;
    struct TRequest {
        enum TKind { Cable, Suspend, Resume } Kind;
        bool Plug = false;
        std::wstring InstanceName, Network; // of a cable; no network: the one it was in
    };
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        const auto* self =
            reinterpret_cast<const TRequestListener*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        TSimProvider* sim = TSimProvider::Installed();
        if (message != kRequested || !self || !sim || wParam >= self->FRequests.size())
            return DefWindowProcW(window, message, wParam, lParam);
        const TRequest& request = self->FRequests[wParam].second;
        switch (request.Kind) {
        case TRequest::Cable:
            sim->MoveCable(request.InstanceName, request.Plug, request.Network);
            break;
        // Windows tells the windows before the links go down, and after resuming before they
        // come back: first that it resumed, then (as a person is at the machine) that it
        // resumed from a suspend.
        case TRequest::Suspend:
            TellWindows(PBT_APMSUSPEND);
            sim->Suspend();
            break;
        case TRequest::Resume:
            TellWindows(PBT_APMRESUMEAUTOMATIC);
            TellWindows(PBT_APMRESUMESUSPEND);
            sim->Resume();
            break;
        }
        return 0;
    }
    // WM_POWERBROADCAST to this thread's top-level windows, as the system sends it to each.
    static void TellWindows(WPARAM event) {
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM event) -> BOOL {
                if (GetAncestor(window, GA_PARENT) == GetDesktopWindow())
                    SendMessageW(window, WM_POWERBROADCAST, static_cast<WPARAM>(event), 0);
                return TRUE;
            },
            static_cast<LPARAM>(event));
    }
    // The cable without an index is the physical wired adapter's.
    static std::wstring WiredAdapterName(const std::vector<TSimAdapter>& adapters) {
        for (const TSimAdapter& a : adapters)
            if (a.HardwareInterface && !a.Virtual && a.NdisPhysicalMedium == 14)
                return a.Description;
        return adapters.empty() ? std::wstring() : adapters.front().Description;
    }
    void AddCable(const std::wstring& index, const std::wstring& instanceName) {
        for (const bool plug : {false, true})
            Add(CableEventName(plug, index), {TRequest::Cable, plug, instanceName, {}});
    }
    void Add(const std::wstring& name, TRequest request) {
        ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, (FNamespace + name).c_str()));
        if (event) FRequests.emplace_back(std::move(event), std::move(request));
    }

    const std::wstring FNamespace;
    std::vector<std::pair<ScopedHandle, TRequest>> FRequests;
    ScopedHandle FStop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HWND FWindow = nullptr;
    std::thread FThread;
};
std::unique_ptr<TRequestListener> Listener;
std::unique_ptr<TSimNetshReceiver> NetshReceiver;
} // namespace

const wchar_t SimulationUsage[] =
    L"Tarnwick.exe [--switch=A|B] [--simulate] [--simulate-delay=N] [--simulate-answer=N]\n\n"
    L"--simulate: simulated network adapters; what they receive goes to "
    L"simulated-network.log beside Tarnwick.exe.\n"
    L"--simulate-delay=N: simulation mode, each adapter call takes N milliseconds "
    L"(0 to 600000).\n"
    L"--simulate-answer=N: simulation mode, every adapter call answers N and changes nothing "
    L"unless N is 0 or 1 (0 to 4294967295).\n"
    L"--simulate-cable=unplug|plug[:INDEX]: the running simulated Tarnwick's wired adapter, or "
    L"the adapter of that Index, loses or finds its link (back in the network it was in).\n"
    L"--simulate-cable=plug:NETWORK: the running simulated Tarnwick's wired adapter is plugged "
    L"into that simulated network (内网 or 外网).\n"
    L"--simulate-power=suspend|resume: the running simulated Tarnwick's machine goes to sleep "
    L"or wakes up.\n"
    L"--simulate-driver-update: simulation mode, the wired adapter has a new Index (its old one "
    L"plus 100), its GUID the same.\n"
    L"--simulate-unplugged: simulation mode, every wired adapter starts with its cable out.\n"
    L"--simulate-standard-user: simulation mode, this copy runs as a standard user's would, not "
    L"elevated.\n"
    L"--install, --uninstall: install Tarnwick for all users of this computer with its service, "
    L"or remove it; --quiet shows no message.\n"
    L"--switch=A or --switch=B: switch to that profile; the running Tarnwick does it, or this "
    L"start does and stays in the tray. Exit code 0 done, 1 failed, 2 a bad option.\n"
    L"--install or --uninstall [--quiet]: install Tarnwick for every user of this computer (its "
    L"service and the tray at each logon), or remove it; asks for an administrator. Exit code 0 "
    L"done, 1 failed; --quiet shows no message.\n"
    L"--exit-when-idle=FILE: simulation mode, end once started (in the tray, or in the first "
    L"run's dialog) and append the milliseconds since the process began and its memory to the "
    L"file of that name beside Tarnwick.exe.";

namespace {
// No sign, no blanks, nothing after the digits: a typo must not become a wait of weeks.
std::optional<unsigned> ParseNumber(std::wstring_view text, unsigned max) {
    if (text.empty()) return std::nullopt;
    unsigned long long value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
        if (value > max) return std::nullopt;
    }
    return static_cast<unsigned>(value);
}
} // namespace

std::optional<unsigned> ParseSimulationDelay(std::wstring_view text) {
    return ParseNumber(text, SimulationMaxDelayMs);
}

std::optional<unsigned> ParseSimulationAnswer(std::wstring_view text) {
    return ParseNumber(text, SimulationMaxAnswer);
}

std::optional<TSimulationOptions> ParseSimulationOptions(const std::wstring& commandLine) {
    TSimulationOptions options;
    const std::vector<std::wstring> args = CommandLineArguments(commandLine);
    bool valid = true;
    // "--flag=N", its number read by parse; the flag without a number it accepts is refused.
    const auto number = [&](std::wstring_view arg, std::wstring_view flag, auto parse,
                            std::optional<unsigned>& value) {
        if (arg.substr(0, flag.size()) != flag) return;
        value = arg.size() > flag.size() && arg[flag.size()] == L'='
                    ? parse(arg.substr(flag.size() + 1))
                    : std::nullopt;
        valid = valid && value.has_value();
        options.Enabled = true;
    };
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring_view arg = args[i];
        if (arg == L"--simulate") options.Enabled = true;
        if (arg == L"--simulate-driver-update") options.Enabled = options.DriverUpdate = true;
        if (arg == L"--simulate-unplugged") options.Enabled = options.Unplugged = true;
        if (arg == L"--simulate-standard-user") options.Enabled = options.StandardUser = true;
        std::optional<unsigned> delay, answer;
        number(arg, L"--simulate-delay", ParseSimulationDelay, delay);
        number(arg, L"--simulate-answer", ParseSimulationAnswer, answer);
        if (delay) options.DelayMs = *delay;
        if (answer) options.Answer = *answer;
    }
    if (!valid) return std::nullopt;
    return options;
}

void StartSimulation(const TSimulationOptions& options, TSimulationScope scope) {
    if (!options.Enabled) return;
    TSimProvider& sim = TSimProvider::Install();
    sim.SetDemoNetworks();
    bool renumbered = false;
    for (TSimAdapter& adapter : sim.Adapters()) {
        const bool wired = adapter.NdisPhysicalMedium == 14 && adapter.HardwareInterface &&
                           !adapter.Virtual && adapter.IPEnabled;
        if (wired && options.Unplugged) adapter.MediaConnected = false;
        if (wired && options.DriverUpdate && !std::exchange(renumbered, true)) adapter.Index += 100;
    }
    sim.SetDelay(options.DelayMs);
    sim.SetAnswer(options.Answer);
    const std::wstring log = ExecutableFolder() + L"simulated-network.log";
    // netsh is this program again; the child finds its role in being this process's child.
    SetNetshProgram(Application().ExeName());
    // Automatic switching asks the simulated networks, never the real one.
    SetNetworkProbe(&SimulatedNetworkProbe());
    sim.OnCall = [log](const TSimCall& call) { AppendTextLine(log, TSimProvider::Describe(call)); };
    sim.OnNetshCommand = [log](const std::wstring& line) { AppendTextLine(log, line); };
    sim.OnAdapterChanged = [log](const TSimAdapter& adapter) {
        AppendTextLine(log, TSimProvider::DescribeState(adapter));
    };
    Listener = std::make_unique<TRequestListener>(
        sim.Adapters(), sim.Networks(),
        scope == TSimulationScope::Machine ? kMachineNamespace : kSessionNamespace);
    NetshReceiver = std::make_unique<TSimNetshReceiver>();
}

namespace {
// The event a --simulate-cable value names ("unplug", "plug", "plug:12", "plug:外网"), or none
// for a value that is none of them.
std::optional<std::wstring> CableRequestEvent(std::wstring_view value) {
    std::wstring_view target;
    const size_t colon = value.find(L':');
    const bool aimed = colon != std::wstring_view::npos;
    if (aimed) {
        target = value.substr(colon + 1);
        value = value.substr(0, colon);
    }
    if (value != L"unplug" && value != L"plug") return std::nullopt;
    const bool plug = value == L"plug";
    if (!aimed) return CableEventName(plug);
    // Digits are an Index; any other text, the simulated network the wired adapter goes into.
    const bool digits =
        !target.empty() && target.find_first_not_of(L"0123456789") == std::wstring_view::npos;
    if (digits) {
        if (!ParseNumber(target, 0x7FFFFFFF)) return std::nullopt;
        return CableEventName(plug, std::wstring(target));
    }
    if (!plug || target.empty()) return std::nullopt;
    return NetworkEventName(target);
}
} // namespace

std::optional<int> RunAsCableMover(const std::wstring& commandLine) {
    const std::vector<std::wstring> args = CommandLineArguments(commandLine);
    const std::wstring_view cable = L"--simulate-cable=", power = L"--simulate-power=";
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring_view arg = args[i];
        std::optional<std::wstring> event;
        if (arg.substr(0, cable.size()) == cable) {
            event = CableRequestEvent(arg.substr(cable.size()));
        } else if (arg.substr(0, power.size()) == power) {
            const std::wstring_view value = arg.substr(power.size());
            if (value == L"suspend") event = kSuspendEvent;
            if (value == L"resume") event = kResumeEvent;
        } else {
            continue;
        }
        if (!event) return 2;
        // A target the instance does not know has no event: answered like no instance. A
        // simulated service's machine is the one whose cable matters where there is one; else
        // the instance's in this session.
        for (const wchar_t* nameSpace : {kMachineNamespace, kSessionNamespace}) {
            const ScopedHandle handle(
                OpenEventW(EVENT_MODIFY_STATE, FALSE, (nameSpace + *event).c_str()));
            if (handle && SetEvent(handle.Get())) return 0;
        }
        return 1;
    }
    return std::nullopt;
}

void StopSimulation() {
    Listener.reset();
    NetshReceiver.reset();
    if (!TSimProvider::Installed()) return;
    SetNetworkProbe(nullptr);
    TSimProvider::Uninstall();
    SetNetshProgram({});
}

std::optional<int> RunAsSimulatedNetsh() {
    // The engine passes the composed "netsh interface ip ..." text as the command line.
    const std::vector<std::wstring> args = CommandLineArguments(GetCommandLineW());
    if (args.empty() || args[0] != L"netsh") return std::nullopt;
    const HWND receiver = SimNetshReceiverOfParent(true);
    if (!receiver) return std::nullopt;
    // The simulated adapters change as Windows' would, and the exit code is netsh's.
    return SimForwardNetshCommand(receiver, GetCommandLineW()).value_or(1);
}

std::wstring SimulationArguments(const TSimulationOptions& options) {
    if (!options.Enabled) return {};
    std::wstring text = L"--simulate";
    if (options.DelayMs) text += L" --simulate-delay=" + std::to_wstring(options.DelayMs);
    if (options.Answer) text += L" --simulate-answer=" + std::to_wstring(*options.Answer);
    if (options.DriverUpdate) text += L" --simulate-driver-update";
    if (options.Unplugged) text += L" --simulate-unplugged";
    return text;
}
