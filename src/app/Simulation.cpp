#include "app/Simulation.h"

#include <windows.h>

#include <memory>
#include <thread>
#include <utility>

#include "core/NetshEngine.h"
#include "core/Settings.h"
#include "framework/Application.h"
#include "framework/CommandLine.h"
#include "framework/MessageWindow.h"
#include "framework/TextFile.h"
#include "framework/Scoped.h"
#include "sim/SimNetsh.h"
#include "sim/SimProvider.h"

namespace {
// Named per session, so a person's --simulate-cable reaches the instance they see.
const wchar_t kUnplugEvent[] = L"Local\\TarnwickSimulatedCableUnplug";
const wchar_t kPlugEvent[] = L"Local\\TarnwickSimulatedCablePlug";

// The event --simulate-cable sets: of the wired adapter without an index, else of that one.
std::wstring CableEventName(bool plug, const std::wstring& index = {}) {
    return (plug ? kPlugEvent : kUnplugEvent) + (index.empty() ? L"" : L":" + index);
}

// Waits, without polling, for --simulate-cable and moves the cable it names: on the thread that
// owns the adapters, the link changes (a disconnected adapter shows no address, as on Windows)
// and the media event is raised, with the InstanceName of the adapter whose link it moves.
class TCableListener {
public:
    explicit TCableListener(const std::vector<TSimAdapter>& adapters) {
        Add(L"", WiredAdapterName(adapters));
        // WaitForMultipleObjects waits for 64 handles at most, the stop event among them.
        for (size_t i = 0; i < adapters.size() && FHandles.size() + 2 < MAXIMUM_WAIT_OBJECTS; ++i)
            Add(std::to_wstring(adapters[i].Index), adapters[i].Description);
        FWindow = CreateMessageWindow(L"TarnwickSimulatedCable", &WindowProc);
        if (!FStop || !FWindow) return;
        SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        FThread = std::thread([this] {
            std::vector<HANDLE> handles{FStop.Get()};
            for (const TCable& cable : FHandles)
                handles.push_back(cable.Event.Get());
            for (;;) {
                const DWORD which = WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                           handles.data(), FALSE, INFINITE);
                if (which <= WAIT_OBJECT_0 || which >= WAIT_OBJECT_0 + handles.size()) return;
                PostMessageW(FWindow, kCableMoved, which - WAIT_OBJECT_0 - 1, 0);
            }
        });
    }
    ~TCableListener() {
        SetEvent(FStop.Get());
        if (FThread.joinable()) FThread.join();
        if (FWindow) DestroyWindow(FWindow);
    }

private:
    static constexpr UINT kCableMoved = WM_APP + 1;
    struct TCable {
        ScopedHandle Event;
        bool Plug;
        std::wstring InstanceName;
    };
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        const auto* self =
            reinterpret_cast<const TCableListener*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        TSimProvider* sim = TSimProvider::Installed();
        if (message != kCableMoved || !self || !sim || wParam >= self->FHandles.size())
            return DefWindowProcW(window, message, wParam, lParam);
        const TCable& cable = self->FHandles[wParam];
        for (TSimAdapter& adapter : sim->Adapters())
            if (adapter.Description == cable.InstanceName) adapter.MediaConnected = cable.Plug;
        sim->RaiseMediaEvent(cable.Plug, cable.InstanceName);
        return 0;
    }
    // The cable without an index is the physical wired adapter's.
    static std::wstring WiredAdapterName(const std::vector<TSimAdapter>& adapters) {
        for (const TSimAdapter& a : adapters)
            if (a.HardwareInterface && !a.Virtual && a.NdisPhysicalMedium == 14)
                return a.Description;
        return adapters.empty() ? std::wstring() : adapters.front().Description;
    }
    void Add(const std::wstring& index, const std::wstring& instanceName) {
        for (const bool plug : {false, true}) {
            ScopedHandle event(
                CreateEventW(nullptr, FALSE, FALSE, CableEventName(plug, index).c_str()));
            if (event) FHandles.push_back({std::move(event), plug, instanceName});
        }
    }

    std::vector<TCable> FHandles;
    ScopedHandle FStop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HWND FWindow = nullptr;
    std::thread FThread;
};
std::unique_ptr<TCableListener> CableListener;
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
    L"the adapter of that Index, loses or finds its link.\n"
    L"--simulate-driver-update: simulation mode, the wired adapter has a new Index (its old one "
    L"plus 100), its GUID the same.\n"
    L"--simulate-unplugged: simulation mode, every wired adapter starts with its cable out.\n"
    L"--switch=A or --switch=B: switch to that profile; the running Tarnwick does it, or this "
    L"start does and stays in the tray. Exit code 0 done, 1 failed, 2 a bad option.\n"
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
        std::optional<unsigned> delay, answer;
        number(arg, L"--simulate-delay", ParseSimulationDelay, delay);
        number(arg, L"--simulate-answer", ParseSimulationAnswer, answer);
        if (delay) options.DelayMs = *delay;
        if (answer) options.Answer = *answer;
    }
    if (!valid) return std::nullopt;
    return options;
}

void StartSimulation(const TSimulationOptions& options) {
    if (!options.Enabled) return;
    TSimProvider& sim = TSimProvider::Install();
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
    sim.OnCall = [log](const TSimCall& call) { AppendTextLine(log, TSimProvider::Describe(call)); };
    sim.OnNetshCommand = [log](const std::wstring& line) { AppendTextLine(log, line); };
    sim.OnAdapterChanged = [log](const TSimAdapter& adapter) {
        AppendTextLine(log, TSimProvider::DescribeState(adapter));
    };
    CableListener = std::make_unique<TCableListener>(sim.Adapters());
    NetshReceiver = std::make_unique<TSimNetshReceiver>();
}

std::optional<int> RunAsCableMover(const std::wstring& commandLine) {
    const std::vector<std::wstring> args = CommandLineArguments(commandLine);
    const std::wstring_view flag = L"--simulate-cable=";
    std::optional<int> code;
    for (size_t i = 1; i < args.size() && !code; ++i) {
        const std::wstring_view arg = args[i];
        if (arg.substr(0, flag.size()) != flag) continue;
        // unplug or plug, of the wired adapter or, after a colon, of the adapter of that Index.
        std::wstring_view value = arg.substr(flag.size()), index;
        if (const size_t colon = value.find(L':'); colon != std::wstring_view::npos) {
            index = value.substr(colon + 1);
            value = value.substr(0, colon);
        }
        const bool known = value == L"unplug" || value == L"plug";
        if (!known || (index.data() && !ParseNumber(index, 0x7FFFFFFF))) {
            code = 2;
            break;
        }
        // An index that names no simulated adapter has no event: answered like no instance.
        const ScopedHandle event(
            OpenEventW(EVENT_MODIFY_STATE, FALSE,
                       CableEventName(value == L"plug", std::wstring(index)).c_str()));
        code = event && SetEvent(event.Get()) ? 0 : 1;
    }
    return code;
}

void StopSimulation() {
    CableListener.reset();
    NetshReceiver.reset();
    if (!TSimProvider::Installed()) return;
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
