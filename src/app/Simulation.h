#pragma once
// Simulation mode (--simulate): the program works against simulated adapters instead of the
// machine's, and writes what they receive to simulated-network.log beside the executable. Its
// netsh is the program itself, started as the stand-in netsh, so the one file is all it needs.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TSimulationOptions {
    bool Enabled = false;
    unsigned DelayMs =
        0; // --simulate-delay=N: each adapter method or netsh command takes this long
    // --simulate-answer=N: every adapter method answers N and, unless it is 0 or 1, changes
    // nothing, as an adapter that refuses the profile does.
    std::optional<uint32_t> Answer = std::nullopt;
};

// The longest --simulate-delay accepted, in milliseconds.
constexpr unsigned SimulationMaxDelayMs = 600000;
// The largest --simulate-answer accepted.
constexpr unsigned SimulationMaxAnswer = 4294967295u; // answers are uint32
// Shown when the command line is refused.
extern const wchar_t SimulationUsage[];

// No answer when an option is malformed; the program then shows the usage and ends.
std::optional<TSimulationOptions> ParseSimulationOptions(const std::wstring& commandLine);
// A delay in milliseconds: decimal digits only, at most SimulationMaxDelayMs.
std::optional<unsigned> ParseSimulationDelay(std::wstring_view text);
// An adapter method's answer: decimal digits only, at most SimulationMaxAnswer.
std::optional<unsigned> ParseSimulationAnswer(std::wstring_view text);

// Installs the simulated provider; call before the main window is created.
void StartSimulation(const TSimulationOptions& options);
void StopSimulation();

// --simulate-cable=unplug|plug[:INDEX]: tells the simulated instance running in this session
// that its wired adapter (or the adapter of that Index) lost or found its link, and answers the
// exit code (1 when none runs, 2 for another value). No answer without the option: the program
// starts as usual.
std::optional<int> RunAsCableMover(const std::wstring& commandLine);

// Given by a simulated instance to the netsh it starts, and to nothing else: the log the
// stand-in appends its command line to, and how long it takes.
constexpr wchar_t SimulatedNetshLogVariable[] = L"TARNWICK_SIMULATED_NETSH_LOG";
constexpr wchar_t SimulatedNetshDelayVariable[] = L"TARNWICK_SIMULATED_NETSH_DELAY_MS";
// When this process was started as the stand-in netsh: records its command line and answers
// the exit code, 0 once the line is in the log. Call first, before anything else starts.
std::optional<int> RunAsSimulatedNetsh();

// While it lives, a process this one starts is the program again, not its netsh: the variables
// that give a child that role are taken from the environment, and put back after.
class TNoNetshRole {
public:
    TNoNetshRole();
    ~TNoNetshRole();
    TNoNetshRole(const TNoNetshRole&) = delete;
    TNoNetshRole& operator=(const TNoNetshRole&) = delete;

private:
    std::wstring FLog, FDelay, FWindow;
};
