// Simulation mode's command line, and Tarnwick.exe itself standing in for netsh.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>

#include "app/Simulation.h"
#include "core/NetshEngine.h"
#include "core/Settings.h"
#include "fakes/SimulatedWmi.h"
#include "framework/Application.h"
#include "framework/Environment.h"
#include "framework/Strings.h"
#include "sim/SimNetsh.h"
#include "sim/SimProvider.h"
#include "support/ScopedVariables.h"
#include "support/Seams.h"
#include "support/BuiltProgram.h"
#include "support/Pumping.h"
#include "support/TempFolder.h"

namespace {

std::optional<TSimulationOptions> Parse(const std::wstring& arguments) {
    return ParseSimulationOptions(L"Tarnwick.exe " + arguments);
}

} // namespace

TEST(SimulationOptions, DelaysAreDecimalMillisecondsWithinTheLimit) {
    EXPECT_FALSE(Parse(L"")->Enabled);
    EXPECT_TRUE(Parse(L"--simulate")->Enabled);
    for (const auto& [arguments, delay] : {std::pair{L"--simulate-delay=0", 0u},
                                           {L"--simulate --simulate-delay=1500", 1500u},
                                           {L"--simulate-delay=600000", 600000u}}) {
        const auto options = Parse(arguments);
        ASSERT_TRUE(options) << arguments;
        EXPECT_TRUE(options->Enabled);
        EXPECT_EQ(options->DelayMs, delay) << arguments;
    }
}

TEST(SimulationOptions, MalformedDelaysAreRefusedInsteadOfWaitingForWeeks) {
    for (const wchar_t* arguments :
         {L"--simulate-delay=-1", L"--simulate-delay=abc", L"--simulate-delay=",
          L"--simulate-delay", L"--simulate-delay=600001", L"--simulate-delay=4294967296",
          L"--simulate-delay=1e3", L"--simulate-delay=15x", L"\"--simulate-delay= 15\"",
          L"--simulate --simulate-delay=-5"})
        EXPECT_FALSE(Parse(arguments)) << arguments;
}

TEST(SimulationOptions, AnswerIsOneDecimalCodeForEveryAdapterCall) {
    EXPECT_FALSE(Parse(L"--simulate")->Answer);
    const auto options = Parse(L"--simulate-answer=66 --simulate-delay=10");
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->Enabled);
    EXPECT_EQ(options->Answer, 66L);
    EXPECT_EQ(options->DelayMs, 10u);
    for (const wchar_t* arguments :
         {L"--simulate-answer=-1", L"--simulate-answer=", L"--simulate-answer",
          L"--simulate-answer=4294967296", L"--simulate-answer=66x"})
        EXPECT_FALSE(Parse(arguments)) << arguments;
}

TEST(SimulatedNetsh, SimulationModeStartsTheProgramItselfAsNetshAndSetsNoVariable) {
    StartSimulation({true, 250});
    EXPECT_EQ(NetshProgram(), Application().ExeName());
    // A variable would reach every process this one starts, elevated copies among them.
    for (const wchar_t* name :
         {L"TARNWICK_SIMULATED_NETSH_LOG", L"TARNWICK_SIMULATED_NETSH_DELAY_MS",
          L"TARNWICK_SIMULATED_NETSH_WINDOW"})
        EXPECT_EQ(EnvironmentVariable(name), L"") << name;
    StopSimulation();
    EXPECT_NE(NetshProgram(), Application().ExeName());
}

TEST(SimulatedNetsh, ItsOptionsAreRebuiltFromWhatWasParsed) {
    EXPECT_EQ(SimulationArguments({}), L"");
    EXPECT_EQ(SimulationArguments({true}), L"--simulate");
    EXPECT_EQ(SimulationArguments({true, 250, 66u}),
              L"--simulate --simulate-delay=250 --simulate-answer=66");
    const auto parsed = Parse(L"--simulate-answer=91 \"--exit-when-idle=C:\\x\" --switch=A");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(SimulationArguments(*parsed), L"--simulate --simulate-answer=91");
    // The copy a standard user's tray starts elevated is elevated.
    const auto standard = Parse(L"--simulate-standard-user --simulate-unplugged");
    ASSERT_TRUE(standard && standard->Enabled && standard->StandardUser);
    EXPECT_EQ(SimulationArguments(*standard), L"--simulate --simulate-unplugged");
}

namespace {
// A simulated provider whose receiver records the command lines it is handed.
class SimulatedNetshReceiver : public ::testing::Test {
protected:
    void SetUp() override {
        TSimulatedWmi::Install().SetDefaultAdapters();
        TSimProvider::Installed()->OnNetshCommand = [this](const std::wstring& line) {
            handed.push_back(line);
        };
        receiver.emplace();
        window = FindWindowExW(HWND_MESSAGE, nullptr, L"TarnwickSimulatedNetsh", nullptr);
    }
    void TearDown() override {
        receiver.reset();
        TSimulatedWmi::Uninstall();
    }
    std::vector<std::wstring> handed;
    std::optional<TSimNetshReceiver> receiver;
    HWND window = nullptr;
};
} // namespace

TEST_F(SimulatedNetshReceiver, NeitherTheEnvironmentNorAnotherParentGivesTheExeTheNetshRole) {
    // An unelevated program can set the user's variables, which every elevated start takes,
    // and can start the exe with a command line of its choosing.
    TempFolder folder;
    folder.WriteBytes(L"target.txt", "kept\r\n");
    const std::wstring target = folder.File(L"target.txt");
    const ScopedVariables oldRole(
        {{L"TARNWICK_SIMULATED_NETSH_LOG", target},
         {L"TARNWICK_SIMULATED_NETSH_DELAY_MS", L"1"},
         {L"TARNWICK_SIMULATED_NETSH_WINDOW", std::to_wstring(reinterpret_cast<uintptr_t>(window))},
         {L"TARNWICK_FAKE_NETSH_LOG", target}});

    // An ordinary start: it runs as the program, to the tray.
    EXPECT_EQ(RunCopyUntilEnd(folder, L"Tarnwick.exe --simulate --exit-when-idle=figures.txt"), 0);
    EXPECT_FALSE(folder.ReadBytes(L"figures.txt").empty()) << "started as usual";
    // Started as "netsh ..." by this process, which is no simulated Tarnwick of the same file:
    // no role, so nothing is handed over, and it starts as the program.
    folder.WriteBytes(L"figures.txt", "");
    EXPECT_EQ(RunCopyUntilEnd(folder, L"netsh interface ip set address \"以太网\" dhcp "
                                      L"--simulate --exit-when-idle=figures.txt"),
              0);
    EXPECT_FALSE(folder.ReadBytes(L"figures.txt").empty()) << "started as usual";
    EXPECT_TRUE(handed.empty());
    EXPECT_EQ(folder.ReadBytes(L"target.txt"), "kept\r\n") << "nothing written where told";
}

TEST_F(SimulatedNetshReceiver, RecordsAndAppliesEachCommandLine) {
    ASSERT_TRUE(window);
    const std::wstring line =
        L"netsh interface ip set address \"以太网 2\" static 10.0.0.5 255.0.0.0 10.0.0.1 1";
    EXPECT_EQ(SimForwardNetshCommand(window, line), 0);
    EXPECT_EQ(handed, std::vector<std::wstring>{line});
    EXPECT_EQ(TSimulatedWmi::Installed()->Adapters()[1].IPAddress,
              std::vector<std::wstring>{L"10.0.0.5"});
    EXPECT_FALSE(SimForwardNetshCommand(nullptr, line)) << "no instance, no answer";
    // This test program's own parent is no simulated Tarnwick.
    EXPECT_FALSE(SimNetshReceiverOfParent(true));
}

namespace {
// Simulation mode started in this process, as the program starts it, without its log.
class SimulatedInstance : public ::testing::Test {
protected:
    void SetUp() override {
        StartSimulation({true});
        Sim = TSimProvider::Installed();
        Sim->OnCall = nullptr;
        Sim->OnNetshCommand = nullptr;
        Sim->OnAdapterChanged = nullptr;
    }
    void TearDown() override { StopSimulation(); }
    TSimAdapter& Wired() { return Sim->Adapters().front(); }
    static int Run(const std::wstring& option) { return *RunAsCableMover(L"x " + option); }

    TWatchdog Watchdog{60};
    TSimProvider* Sim = nullptr;
};

// What a top-level window of this thread heard of the power, with the wired link at the time.
std::vector<std::pair<WPARAM, bool>> PowerHeard;
LRESULT CALLBACK PowerProbe(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_POWERBROADCAST && TSimProvider::Installed())
        PowerHeard.emplace_back(wParam,
                                TSimProvider::Installed()->Adapters().front().MediaConnected);
    return DefWindowProcW(window, message, wParam, lParam);
}
} // namespace

TEST(SimulatedCable, WithoutARunningInstanceNothingIsReachedAndBadValuesAreRefused) {
    EXPECT_FALSE(RunAsCableMover(L"x --simulate"));
    for (const wchar_t* option :
         {L"--simulate-cable=plug:外网", L"--simulate-cable=unplug", L"--simulate-power=suspend"})
        EXPECT_EQ(RunAsCableMover(std::wstring(L"x ") + option), 1) << option;
    for (const wchar_t* option : {L"--simulate-cable=plug:", L"--simulate-cable=unplug:外网",
                                  L"--simulate-cable=replug", L"--simulate-cable=plug:99999999999",
                                  L"--simulate-power=", L"--simulate-power=hibernate"})
        EXPECT_EQ(RunAsCableMover(std::wstring(L"x ") + option), 2) << option;
}

TEST_F(SimulatedInstance, TheWiredCableMovesIntoANamedNetworkAndBackIntoTheOneItWasIn) {
    // The demo's 内网 behind the wired cable: its gateway answers profile A's address.
    EXPECT_EQ(Wired().Network, L"内网");
    Wired().IPAddress = {L"10.20.30.41"};
    Wired().IPSubnet = {L"255.255.255.0"};
    EXPECT_EQ(Sim->ResolveGateway(Wired().Guid, L"10.20.30.1"), L"00-1A-2B-10-20-01");

    EXPECT_EQ(Run(L"--simulate-cable=plug:不存在"), 1) << "a network the instance does not know";
    EXPECT_EQ(Run(L"--simulate-cable=unplug"), 0);
    ASSERT_TRUE(PumpUntil([&] { return !Wired().MediaConnected; }));
    EXPECT_EQ(Run(L"--simulate-cable=plug:外网"), 0);
    ASSERT_TRUE(PumpUntil([&] { return Wired().MediaConnected; }));
    EXPECT_EQ(Wired().Network, L"外网");
    EXPECT_EQ(Run(L"--simulate-cable=unplug"), 0);
    ASSERT_TRUE(PumpUntil([&] { return !Wired().MediaConnected; }));
    EXPECT_EQ(Run(L"--simulate-cable=plug"), 0);
    ASSERT_TRUE(PumpUntil([&] { return Wired().MediaConnected; }));
    EXPECT_EQ(Wired().Network, L"外网") << "a plain plug goes back where it came out";
}

TEST_F(SimulatedInstance, WindowsHearOfTheSleepBeforeTheLinksGoAndOfTheWakeBeforeTheyReturn) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PowerProbe;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TarnwickPowerProbe";
    RegisterClassExW(&wc);
    const HWND window = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                        nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(window);
    PowerHeard.clear();

    EXPECT_EQ(Run(L"--simulate-power=suspend"), 0);
    ASSERT_TRUE(PumpUntil([&] { return !Wired().MediaConnected; }));
    EXPECT_EQ(PowerHeard, (std::vector<std::pair<WPARAM, bool>>{{PBT_APMSUSPEND, true}}));
    EXPECT_EQ(Run(L"--simulate-power=resume"), 0);
    ASSERT_TRUE(PumpUntil([&] { return Wired().MediaConnected; }));
    EXPECT_EQ(PowerHeard, (std::vector<std::pair<WPARAM, bool>>{{PBT_APMSUSPEND, true},
                                                                {PBT_APMRESUMEAUTOMATIC, false},
                                                                {PBT_APMRESUMESUSPEND, false}}));
    EXPECT_EQ(Wired().Network, L"内网");
    DestroyWindow(window);
}
