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
#include "support/Seams.h"
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

TEST(SimulatedNetsh, SimulationModeStartsTheProgramItselfAsNetsh) {
    StartSimulation({true, 250});
    EXPECT_EQ(NetshProgram(), Application().ExeName());
    EXPECT_EQ(EnvironmentVariable(SimulatedNetshLogVariable),
              ExecutableFolder() + L"simulated-network.log");
    EXPECT_EQ(EnvironmentVariable(SimulatedNetshDelayVariable), L"250");
    StopSimulation();
    EXPECT_NE(NetshProgram(), Application().ExeName());
    EXPECT_EQ(EnvironmentVariable(SimulatedNetshLogVariable), L"");
}

TEST(SimulatedNetsh, ACopyOfTheProgramStartedByItIsNotItsNetsh) {
    StartSimulation({true, 250});
    std::optional<TNoNetshRole> scope;
    scope.emplace();
    EXPECT_EQ(EnvironmentVariable(SimulatedNetshLogVariable), L"");
    EXPECT_EQ(EnvironmentVariable(SimulatedNetshDelayVariable), L"");
    EXPECT_EQ(EnvironmentVariable(SimNetshWindowVariable), L"");
    scope.reset();
    EXPECT_EQ(EnvironmentVariable(SimulatedNetshLogVariable),
              ExecutableFolder() + L"simulated-network.log")
        << "put back for the netsh it starts later";
    EXPECT_EQ(EnvironmentVariable(SimulatedNetshDelayVariable), L"250");
    EXPECT_NE(EnvironmentVariable(SimNetshWindowVariable), L"");
    StopSimulation();
}

TEST(SimulatedNetsh, TarnwickExeRecordsEachCommandLineAndSucceeds) {
    // The program built beside this test program's folder.
    const std::wstring program = ExecutableFolder() + L"..\\src\\app\\Tarnwick.exe";
    ASSERT_NE(GetFileAttributesW(program.c_str()), INVALID_FILE_ATTRIBUTES) << "build Tarnwick";
    TempFolder folder;
    const std::wstring log = folder.File(L"simulated-network.log");
    const ScopedSeam netshIsTarnwick(&SetNetshProgram, program);
    SetEnvironmentVariableW(SimulatedNetshLogVariable, log.c_str());
    SetEnvironmentVariableW(SimulatedNetshDelayVariable, L"300");

    // The stand-in hands each command to the simulated netsh of this process.
    TSimulatedWmi& sim = TSimulatedWmi::Install();
    sim.SetDefaultAdapters();
    TSimNetshReceiver receiver;
    TIpProfile profile;
    profile.IPAddress = L"10.0.0.5";
    profile.IPSubnet = L"255.0.0.0";
    profile.DefaultIPGateway = L"10.0.0.1";
    profile.DNSA = L"10.0.0.53";
    profile.DNSB = L"10.0.0.54";
    const DWORD start = GetTickCount();
    EXPECT_EQ(NetshSwitchConnection(L"以太网 2", profile).Code, 0);
    EXPECT_EQ(sim.Adapters()[1].IPAddress, std::vector<std::wstring>{L"10.0.0.5"});
    EXPECT_EQ(sim.Adapters()[1].DNSServerSearchOrder,
              (std::vector<std::wstring>{L"10.0.0.53", L"10.0.0.54"}));
    EXPECT_GE(GetTickCount() - start, 3 * 300u) << "each command takes the delay";
    EXPECT_EQ(
        FromUtf8(folder.ReadBytes(L"simulated-network.log")),
        L"netsh interface ip set address \"以太网 2\" static 10.0.0.5 255.0.0.0 10.0.0.1 1\r\n"
        L"netsh interface ip set dns \"以太网 2\" static 10.0.0.53\r\n"
        L"netsh interface ip add dns \"以太网 2\" 10.0.0.54\r\n");

    // A line that cannot be recorded is not a success.
    SetEnvironmentVariableW(SimulatedNetshDelayVariable, nullptr);
    SetEnvironmentVariableW(SimulatedNetshLogVariable, folder.File(L"missing\\x.log").c_str());
    const TNetshRun unrecorded = RunNetsh(L"netsh interface ip set address \"LAN\" dhcp ");
    EXPECT_FALSE(unrecorded.Kind == TNetshRun::Exited && unrecorded.ExitCode == 0);
    TSimulatedWmi::Uninstall();

    SetEnvironmentVariableW(SimulatedNetshLogVariable, nullptr);
}
