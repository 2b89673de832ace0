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
    // --simulate-driver-update: the wired adapter has a new Index, as after a driver update or
    // a USB adapter moved to another port; its GUID stays.
    bool DriverUpdate = false;
    // --simulate-unplugged: every physical wired adapter starts with its cable out, as a laptop
    // off its dock.
    bool Unplugged = false;
    // --simulate-standard-user: this copy is not elevated, as a standard user's is not (under
    // Wine every program is). Not passed on to the elevated copy it starts.
    bool StandardUser = false;
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

// Whose simulated machine it is: the tray's, in its session, or a simulated service's, which
// --simulate-cable and --simulate-power reach from any session.
enum class TSimulationScope { Session, Machine };
// Installs the simulated provider; call before the main window is created.
void StartSimulation(const TSimulationOptions& options,
                     TSimulationScope scope = TSimulationScope::Session);
void StopSimulation();

// --simulate-cable=unplug|plug[:INDEX]: tells the simulated instance running in this session
// that its wired adapter (or the adapter of that Index) lost or found its link, back in the
// simulated network it was in; --simulate-cable=plug:NETWORK (any text but digits): that its
// wired adapter was plugged into the simulated network of that name; --simulate-power=
// suspend|resume: that its machine goes to sleep or wakes up. Answers the exit code (1 when
// none runs, or it knows no such adapter or network; 2 for another value). No answer without
// the options: the program starts as usual.
std::optional<int> RunAsCableMover(const std::wstring& commandLine);

// The program's own options of simulation mode, as parsed, for a copy it starts: empty when
// simulation mode is off, else "--simulate" and each option given, with its value.
std::wstring SimulationArguments(const TSimulationOptions& options);

// When this process is the stand-in netsh of a simulated instance: hands its command line to
// that instance, which records and applies it, and answers netsh's exit code. Only a process
// started as "netsh ..." by a simulated Tarnwick running this same file takes that role, which
// nothing in the environment can give. Call first, before anything else starts.
std::optional<int> RunAsSimulatedNetsh();
