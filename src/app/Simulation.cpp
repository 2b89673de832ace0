#include "app/Simulation.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <thread>

#include "core/NetshEngine.h"
#include "core/Settings.h"
#include "framework/Application.h"
#include "framework/Environment.h"
#include "framework/TextFile.h"
#include "framework/Scoped.h"
#include "sim/SimProvider.h"

namespace {
// Named per session, so a person's --simulate-cable reaches the instance they see.
const wchar_t kUnplugEvent[] = L"Local\\TarnwickSimulatedCableUnplug";
const wchar_t kPlugEvent[] = L"Local\\TarnwickSimulatedCablePlug";

// Waits, without polling, for --simulate-cable and raises the media event it asks for.
class TCableListener {
public:
    explicit TCableListener(std::wstring adapter) : FAdapter(std::move(adapter)) {
        if (!FUnplug || !FPlug || !FStop) return;
        FThread = std::thread([this] {
            const HANDLE handles[] = {FStop.Get(), FUnplug.Get(), FPlug.Get()};
            for (;;) {
                const DWORD which = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
                if (which != WAIT_OBJECT_0 + 1 && which != WAIT_OBJECT_0 + 2) return;
                if (TSimProvider* sim = TSimProvider::Installed())
                    sim->RaiseMediaEvent(which == WAIT_OBJECT_0 + 2, FAdapter);
            }
        });
    }
    ~TCableListener() {
        SetEvent(FStop.Get());
        if (FThread.joinable()) FThread.join();
    }

private:
    std::wstring FAdapter;
    ScopedHandle FUnplug{CreateEventW(nullptr, FALSE, FALSE, kUnplugEvent)};
    ScopedHandle FPlug{CreateEventW(nullptr, FALSE, FALSE, kPlugEvent)};
    ScopedHandle FStop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread FThread;
};
std::unique_ptr<TCableListener> CableListener;
} // namespace

const wchar_t SimulationUsage[] =
    L"Tarnwick.exe [--simulate] [--simulate-delay=N] [--simulate-answer=N]\n\n"
    L"--simulate: simulated network adapters; what they receive goes to "
    L"simulated-network.log beside Tarnwick.exe.\n"
    L"--simulate-delay=N: simulation mode, each adapter call takes N milliseconds "
    L"(0 to 600000).\n"
    L"--simulate-answer=N: simulation mode, every adapter call answers N and changes nothing "
    L"unless N is 0 or 1 (0 to 2147483647).\n"
    L"--simulate-cable=unplug|plug: the running simulated Tarnwick's adapter 1 loses or finds "
    L"its cable.\n"
    L"--exit-when-idle=FILE: end once started (in the tray, or in the first run's dialog) and "
    L"append the milliseconds since the process began and its memory to FILE.";

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
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc);
    if (!argv) return options;
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
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg = argv[i];
        if (arg == L"--simulate") options.Enabled = true;
        std::optional<unsigned> delay, answer;
        number(arg, L"--simulate-delay", ParseSimulationDelay, delay);
        number(arg, L"--simulate-answer", ParseSimulationAnswer, answer);
        if (delay) options.DelayMs = *delay;
        if (answer) options.Answer = static_cast<long>(*answer);
    }
    LocalFree(argv);
    if (!valid) return std::nullopt;
    return options;
}

void StartSimulation(const TSimulationOptions& options) {
    if (!options.Enabled) return;
    TSimProvider& sim = TSimProvider::Install();
    sim.SetDelay(options.DelayMs);
    sim.SetAnswer(options.Answer);
    const std::wstring log = ExecutableFolder() + L"simulated-network.log";
    // netsh is this program again: the variable tells the child its role. This process read it
    // at its start, and only the children it starts see it.
    SetNetshProgram(Application().ExeName());
    SetEnvironmentVariableW(SimulatedNetshLogVariable, log.c_str());
    SetEnvironmentVariableW(SimulatedNetshDelayVariable,
                            options.DelayMs ? std::to_wstring(options.DelayMs).c_str() : nullptr);
    sim.OnCall = [log](const TSimCall& call) { AppendTextLine(log, TSimProvider::Describe(call)); };
    CableListener = std::make_unique<TCableListener>(sim.Adapters().front().Description);
}

std::optional<int> RunAsCableMover(const std::wstring& commandLine) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc);
    if (!argv) return std::nullopt;
    const std::wstring_view flag = L"--simulate-cable=";
    std::optional<int> code;
    for (int i = 1; i < argc && !code; ++i) {
        const std::wstring_view arg = argv[i];
        if (arg.substr(0, flag.size()) != flag) continue;
        const std::wstring_view value = arg.substr(flag.size());
        const wchar_t* name = value == L"unplug" ? kUnplugEvent
                              : value == L"plug" ? kPlugEvent
                                                 : nullptr;
        if (!name) {
            code = 2;
            break;
        }
        const ScopedHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, name));
        code = event && SetEvent(event.Get()) ? 0 : 1;
    }
    LocalFree(argv);
    return code;
}

void StopSimulation() {
    CableListener.reset();
    if (!TSimProvider::Installed()) return;
    TSimProvider::Uninstall();
    SetNetshProgram({});
    SetEnvironmentVariableW(SimulatedNetshLogVariable, nullptr);
    SetEnvironmentVariableW(SimulatedNetshDelayVariable, nullptr);
}

std::optional<int> RunAsSimulatedNetsh() {
    const std::wstring log = EnvironmentVariable(SimulatedNetshLogVariable);
    if (log.empty()) return std::nullopt;
    // The engine passes the composed "netsh interface ip ..." text as the command line.
    if (!AppendTextLine(log, GetCommandLineW())) return 1; // unrecorded, so not a success
    if (const auto delay = ParseSimulationDelay(EnvironmentVariable(SimulatedNetshDelayVariable)))
        Sleep(*delay);
    return 0;
}
