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
