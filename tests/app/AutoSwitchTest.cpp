// Automatic switching against the simulated machine's networks: the cable moved by hand, the
// network asked as simulation mode asks it, and no window.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/SimulatedNetwork.h"
#include "core/AutoSwitch.h"
#include "core/ProfileSwitch.h"
#include "core/Settings.h"
#include "fakes/SimulatedWmi.h"
#include "support/DemoNetworks.h"
#include "support/Pumping.h"
#include "support/Seams.h"
#include "support/TempFolder.h"

namespace {

const wchar_t kWired[] = L"Intel(R) PRO/1000 MT Network Connection";
const wchar_t kInner[] = L"内网", kOuter[] = L"外网";
const wchar_t kInnerMac[] = L"00-1A-2B-10-20-01";

// The two profiles of the demo, and the window's part played by the test: every switch is
// made as a double click makes it, and what the user would see is recorded.
class AutoSwitch : private TWatchdog, public ::testing::Test {
protected:
    AutoSwitch() : TWatchdog(120) {
        UseDemoNetworks(sim, folder);
        EXPECT_EQ(Switch(L"A"), 0);
        decision.SetClock([this] { return Now; });
        decision.SetProbeTimes({400, 600, 50});
        sim.ClearCalls();
    }
    ~AutoSwitch() override { OpenSettings(); }

    int64_t Switch(const std::wstring& profile) {
        ++Switches;
        const TSwitchResult result = SwitchProfile(profile);
        if (result.Failed) return result.Code;
        WriteActiveProfile(profile);
        return 0;
    }
    // The cable out and, a moment later, into that network.
    void Move(const wchar_t* network, uint64_t awakeMsBetween = 2000) {
        ASSERT_TRUE(provider.MoveCable(kWired, false));
        decision.Disconnected(kWired);
        Now += awakeMsBetween;
        ASSERT_TRUE(provider.MoveCable(kWired, true, network));
        decision.Connected(kWired);
        ASSERT_TRUE(PumpUntil([&] { return !decision.Asking(); }, 20000));
    }
    TSimAdapter& Wired() { return sim.Adapters().front(); }

    TSimulatedWmi& sim = TSimulatedWmi::Install();
    TSimProvider& provider = *TSimProvider::Installed();
    const ScopedSeam<INetworkProbe*> network{&SetNetworkProbe, &SimulatedNetworkProbe()};
    TempFolder folder;
    uint64_t Now = 100000;
    int Switches = 0, Unchanged = 0;
    std::vector<std::wstring> Balloons;
    TAutoSwitch decision{{[] { return true; }, [this](const std::wstring& p) { return Switch(p); },
                          [this](const std::wstring& profile, bool found) {
                              Balloons.push_back(profile + (found ? L"" : L" without gateway"));
                          },
                          [this](const std::wstring&) { ++Unchanged; }}};
};

TEST_F(AutoSwitch, CableBackInTheSameNetworkSwitchesNothingAndTheOtherOneSwitchesOnce) {
    Move(kInner);
    EXPECT_EQ(Unchanged, 1);
    EXPECT_TRUE(Balloons.empty());
    EXPECT_TRUE(sim.Calls().empty()) << "no method was called";
    EXPECT_EQ(ActiveProfile(), L"A");
    EXPECT_EQ(ReadKnownNetwork(L"A").GatewayMac, kInnerMac) << "learned on the way";

    // 内网 to 外网: one switch, and the lease of 外网's server.
    Move(kOuter);
    EXPECT_EQ(ActiveProfile(), L"B");
    EXPECT_EQ(Balloons, std::vector<std::wstring>{L"B"});
    EXPECT_TRUE(Wired().DHCPEnabled);
    EXPECT_EQ(Wired().IPAddress.front(), L"192.168.50.100");
    EXPECT_EQ(ReadKnownNetwork(L"B").DhcpServer, L"192.168.50.1");

    // Back into 外网 after a re-seat: the lease comes from the server learned.
    sim.ClearCalls();
    Move(kOuter);
    EXPECT_EQ(ActiveProfile(), L"B");
    EXPECT_EQ(Unchanged, 2);
    EXPECT_TRUE(sim.Calls().empty());

    // 外网 to 内网: no lease there; the switch, and its gateway answers.
    Move(kInner);
    EXPECT_EQ(ActiveProfile(), L"A");
    EXPECT_EQ(Balloons, (std::vector<std::wstring>{L"B", L"A"}));
    EXPECT_EQ(Wired().IPAddress.front(), L"10.20.30.41");
}

TEST_F(AutoSwitch, NetworkWhereNeitherAnswersOrAnotherRouterAnswersIsSwitchedFrom) {
    decision.Learn(L"A", Wired().Guid);
    ASSERT_TRUE(PumpUntil([&] { return !decision.Asking(); }));
    ASSERT_EQ(ReadKnownNetwork(L"A").GatewayMac, kInnerMac);
    // A third network, static, that neither profile is for.
    TSimNetwork airport;
    airport.Name = L"机场";
    airport.Gateway = L"172.16.0.1";
    airport.GatewayMac = L"00-1A-2B-AA-00-01";
    provider.Networks().push_back(airport);
    Move(L"机场");
    EXPECT_EQ(ActiveProfile(), L"B");
    EXPECT_EQ(Balloons, std::vector<std::wstring>{L"B without gateway"});
    EXPECT_TRUE(ReadKnownNetwork(L"B").Empty()) << "nothing answered, nothing learned";

    // Another network behind the same gateway address as 内网.
    Move(kInner);
    ASSERT_EQ(ActiveProfile(), L"A");
    TSimNetwork lab = provider.Networks().front();
    lab.Name = L"实验室";
    lab.GatewayMac = L"00-1A-2B-CC-00-01";
    provider.Networks().push_back(lab);
    Balloons.clear();
    Move(L"实验室");
    EXPECT_EQ(ActiveProfile(), L"B") << "the gateway answered with another hardware address";
    EXPECT_EQ(ReadKnownNetwork(L"A").GatewayMac, kInnerMac) << "what 内网 is stays learned";
}

TEST_F(AutoSwitch, SleepIsNoMoveAndAnOldDisconnectIsNoReconnect) {
    // Windows reports the link down before the sleep and up after it.
    decision.Suspending();
    provider.Suspend();
    decision.Disconnected(kWired);
    provider.Resume();
    Now += 1500;
    decision.Connected(kWired);
    ASSERT_TRUE(PumpUntil([&] { return !decision.Asking(); }, 20000));
    EXPECT_EQ(ActiveProfile(), L"A");
    EXPECT_EQ(Unchanged, 1) << "judged as any reconnect: the same network";
    EXPECT_EQ(Switches, 1) << "only the set-up's";

    // Unplugged, ten minutes asleep (time awake does not move), plugged into the other one.
    ASSERT_TRUE(provider.MoveCable(kWired, false));
    decision.Disconnected(kWired);
    decision.Suspending();
    ASSERT_TRUE(provider.MoveCable(kWired, true, kOuter));
    decision.Connected(kWired);
    EXPECT_FALSE(decision.Asking()) << "a disconnect before the sleep is not recent";
    // A minute and a millisecond awake is too late, a minute is not.
    decision.Disconnected(kWired);
    Now += TAutoSwitch::ReconnectWindowMs + 1;
    decision.Connected(kWired);
    EXPECT_FALSE(decision.Asking());
    Now -= 1;
    decision.Connected(kWired);
    EXPECT_TRUE(decision.Asking());
    ASSERT_TRUE(PumpUntil([&] { return !decision.Asking(); }, 20000));
    EXPECT_EQ(ActiveProfile(), L"B");
}

TEST_F(AutoSwitch, CableOutAgainWhileItsNetworkIsAskedIsJudgedAtTheNextConnect) {
    for (TSimNetwork& network : provider.Networks())
        network.ArpDelayMs = 300;
    ASSERT_TRUE(provider.MoveCable(kWired, false));
    decision.Disconnected(kWired);
    ASSERT_TRUE(provider.MoveCable(kWired, true, kInner));
    decision.Connected(kWired);
    ASSERT_TRUE(decision.Asking());
    ASSERT_TRUE(provider.MoveCable(kWired, false));
    decision.Disconnected(kWired);
    EXPECT_FALSE(decision.Asking()) << "the question is dropped";
    ASSERT_TRUE(provider.MoveCable(kWired, true, kInner));
    decision.Connected(kWired);
    ASSERT_TRUE(PumpUntil([&] { return !decision.Asking(); }, 20000));
    EXPECT_EQ(ActiveProfile(), L"A");
    EXPECT_EQ(Unchanged, 1);
    EXPECT_TRUE(Balloons.empty());
}

} // namespace
