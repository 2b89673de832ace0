// The networks behind the simulated cables: what their gateways answer to ARP, what their DHCP
// servers lease and when, the cable moved between them, and the simulated sleep.
#include <atomic>

#include "SimFixture.h"
#include "sim/SimNetsh.h"
#include "support/Pumping.h"

namespace {
const wchar_t kIntel[] = L"Intel(R) PRO/1000 MT Network Connection";
const wchar_t kRealtek[] = L"Realtek USB GbE Family Controller";

TSimNetwork Network(std::wstring name, std::wstring gateway, std::wstring mac,
                    std::wstring server = {}) {
    TSimNetwork n;
    n.Name = std::move(name);
    n.Gateway = std::move(gateway);
    n.GatewayMac = std::move(mac);
    n.DhcpServer = std::move(server);
    if (!n.DhcpServer.empty()) {
        n.LeaseAddress = n.Gateway.substr(0, n.Gateway.rfind(L'.')) + L".100";
        n.Dns = {n.DhcpServer, L"8.8.8.8"};
    }
    n.ArpDelayMs = 10;
    n.LeaseDelayMs = 200;
    return n;
}

// The two adapters of the fixture, 1 static in 内网 (no DHCP server) and 8 DHCP with its cable
// out of 外网 (a DHCP server).
class SimulatedNetworkTest : public SimulatedWmiTest {
protected:
    void SetUp() override {
        SimulatedWmiTest::SetUp();
        Sim = TSimProvider::Installed();
        Sim->Networks() = {
            Network(L"内网", L"10.20.30.1", L"00-1A-2B-10-20-01"),
            Network(L"外网", L"192.168.50.1", L"00-1A-2B-50-00-01", L"192.168.50.1")};
        One().Network = L"内网";
        Eight().Network = L"外网";
        Eight().MediaConnected = false;
        Sim->OnAdapterChanged = [this](const TSimAdapter& a) {
            Reported.push_back(std::to_wstring(a.Index) + L" " +
                               (a.IPAddress.empty() ? L"-" : a.IPAddress.front()));
        };
    }
    TSimAdapter& One() { return Wmi->Adapters()[0]; }
    TSimAdapter& Eight() { return Wmi->Adapters()[1]; }
    void SetAddress(TSimAdapter& a, const wchar_t* address, const wchar_t* mask) {
        a.IPAddress = {address};
        a.IPSubnet = {mask};
    }
    // Answers the ARP try and how long it took.
    std::pair<std::optional<std::wstring>, ULONGLONG> Arp(const TSimAdapter& a,
                                                          const wchar_t* gateway) {
        const ULONGLONG start = GetTickCount64();
        std::optional<std::wstring> mac = Sim->ResolveGateway(a.Guid, gateway);
        return {mac, GetTickCount64() - start};
    }
    bool LeaseArrives(const TSimAdapter& a) {
        return PumpUntil([&] { return Sim->CurrentLease(a.Guid).has_value(); }, 3000);
    }

    TSimProvider* Sim = nullptr;
    std::vector<std::wstring> Reported;
};

TEST_F(SimulatedNetworkTest, OnlyTheGatewayOfTheCablesNetworkAnswersOnItsOwnSubnet) {
    // The laptop's own address is not on 内网's subnet: the request never reaches its gateway.
    const auto [offSubnet, waited] = Arp(One(), L"10.20.30.1");
    EXPECT_FALSE(offSubnet);
    EXPECT_GE(waited, 950u) << "an unanswered try takes Windows' timeout";

    SetAddress(One(), L"10.20.30.41", L"255.255.255.0");
    const auto [mac, took] = Arp(One(), L"10.20.30.1");
    EXPECT_EQ(mac, L"00-1A-2B-10-20-01");
    EXPECT_LT(took, 500u) << "an answer comes after the network's delay";
    EXPECT_FALSE(Arp(One(), L"192.168.50.1").first) << "another network's gateway";
    EXPECT_FALSE(Arp(One(), L"10.20.30.2").first) << "an address that is no gateway";

    // The adapter's own mask decides, not the network's.
    SetAddress(One(), L"10.20.31.5", L"255.255.0.0");
    EXPECT_EQ(Arp(One(), L"10.20.30.1").first, L"00-1A-2B-10-20-01");

    ASSERT_TRUE(Sim->MoveCable(kIntel, false));
    EXPECT_FALSE(Arp(One(), L"10.20.30.1").first) << "unplugged";
    ASSERT_TRUE(Sim->MoveCable(kIntel, true));
    EXPECT_EQ(Arp(One(), L"10.20.30.1").first, L"00-1A-2B-10-20-01") << "plugged back";
    EXPECT_FALSE(Sim->ResolveGateway(L"{no such adapter}", L"10.20.30.1"));
}

TEST_F(SimulatedNetworkTest, TwoNetworksBehindTheSameGatewayAddressAnswerWithTheirOwnHardware) {
    // Two home routers at 192.168.1.1, as many are.
    Sim->Networks().push_back(Network(L"家", L"192.168.1.1", L"00-11-22-33-44-55"));
    Sim->Networks().push_back(Network(L"店", L"192.168.1.1", L"66-77-88-99-AA-BB"));
    ASSERT_TRUE(Sim->MoveCable(kIntel, true, L"家"));
    EXPECT_EQ(Arp(One(), L"192.168.1.1").first, L"00-11-22-33-44-55");
    ASSERT_TRUE(Sim->MoveCable(kIntel, true, L"店"));
    EXPECT_EQ(One().Network, L"店");
    EXPECT_EQ(Arp(One(), L"192.168.1.1").first, L"66-77-88-99-AA-BB");
}

TEST_F(SimulatedNetworkTest, AWorkerThreadAsksWhileTheOwnerThreadPumps) {
    TWatchdog watchdog(30);
    SetAddress(One(), L"10.20.30.41", L"255.255.255.0");
    ASSERT_TRUE(Sim->MoveCable(kRealtek, true));
    ASSERT_TRUE(LeaseArrives(Eight()));
    std::optional<std::wstring> mac;
    std::optional<TSimProvider::TSimLease> lease;
    std::atomic<bool> done = false;
    std::thread worker([&] {
        mac = Sim->ResolveGateway(One().Guid, L"10.20.30.1");
        lease = Sim->CurrentLease(Eight().Guid);
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_EQ(mac, L"00-1A-2B-10-20-01");
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease->Address, L"192.168.50.100");
}

TEST_F(SimulatedNetworkTest, APluggedDhcpAdapterLeasesFromItsNetworkAfterTheDelay) {
    EXPECT_FALSE(Sim->MoveCable(kRealtek, true, L"不存在")) << "no such network";
    EXPECT_FALSE(Sim->MoveCable(L"No such adapter", true));
    EXPECT_FALSE(Eight().MediaConnected) << "nothing changed";
    EXPECT_FALSE(Sim->CurrentLease(Eight().Guid)) << "unplugged";

    // Plain plug: back into 外网, the network it was in.
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(Sim->MoveCable(kRealtek, true));
    EXPECT_EQ(Eight().Network, L"外网");
    EXPECT_FALSE(Sim->CurrentLease(Eight().Guid)) << "the lease comes a while after the link";
    ASSERT_TRUE(LeaseArrives(Eight()));
    EXPECT_GE(GetTickCount64() - start, 190u);
    const auto lease = Sim->CurrentLease(Eight().Guid);
    EXPECT_EQ(lease->Address, L"192.168.50.100");
    EXPECT_EQ(lease->Server, L"192.168.50.1");
    EXPECT_EQ(lease->Gateway, L"192.168.50.1");
    EXPECT_EQ(Eight().IPSubnet, std::vector<std::wstring>{L"255.255.255.0"});
    // The link and the lease each reported, as the log shows them.
    EXPECT_EQ(Reported, (std::vector<std::wstring>{L"8 -", L"8 192.168.50.100"}));

    // Into a network without a DHCP server: an automatic private address, which is no lease.
    ASSERT_TRUE(Sim->MoveCable(kRealtek, false));
    EXPECT_TRUE(Eight().IPAddress.empty()) << "the address goes with the link";
    ASSERT_TRUE(Sim->MoveCable(kRealtek, true, L"内网"));
    ASSERT_TRUE(PumpUntil([&] { return !Eight().IPAddress.empty(); }));
    EXPECT_EQ(Eight().IPAddress.front().rfind(L"169.254.", 0), 0u) << Eight().IPAddress.front();
    EXPECT_EQ(Eight().IPSubnet, std::vector<std::wstring>{L"255.255.0.0"});
    EXPECT_TRUE(Eight().DefaultIPGateway.empty());
    EXPECT_TRUE(Eight().DHCPServer.empty());
    EXPECT_FALSE(Sim->CurrentLease(Eight().Guid));
}

TEST_F(SimulatedNetworkTest, ALeaseDueAfterTheCableWentOrTheAdapterTurnedStaticNeverComes) {
    ASSERT_TRUE(Sim->MoveCable(kRealtek, true));
    ASSERT_TRUE(Sim->MoveCable(kRealtek, false));
    PumpFor(400);
    EXPECT_TRUE(Eight().IPAddress.empty());

    ASSERT_TRUE(Sim->MoveCable(kRealtek, true));
    TArrayArg address({L"192.168.50.7"}), mask({L"255.255.255.0"});
    EXPECT_EQ(0, CallOn(8, L"EnableStatic", {address.Ref(), mask.Ref()}));
    PumpFor(400);
    EXPECT_EQ(Eight().IPAddress, std::vector<std::wstring>{L"192.168.50.7"});
    EXPECT_FALSE(Sim->CurrentLease(Eight().Guid)) << "a static adapter has no lease";
}

TEST_F(SimulatedNetworkTest, DhcpTurnedOnTakesWhatTheNetworkGivesAtOnce) {
    // The cable out: no address until the link comes back.
    EXPECT_EQ(0, CallOn(8, L"EnableDHCP"));
    EXPECT_TRUE(Eight().IPAddress.empty());
    EXPECT_FALSE(Sim->CurrentLease(Eight().Guid));
    Eight().MediaConnected = true;
    const std::wstring netsh = L"netsh interface ip set address \"以太网 2\" ";
    EXPECT_EQ(0, SimApplyNetshCommand(Wmi->Adapters(), netsh + L"static 10.0.0.5 255.0.0.0 none",
                                      Sim->Networks()));
    EXPECT_EQ(0, SimApplyNetshCommand(Wmi->Adapters(), netsh + L"dhcp", Sim->Networks()));
    ASSERT_TRUE(Sim->CurrentLease(Eight().Guid));
    EXPECT_EQ(Sim->CurrentLease(Eight().Guid)->Address, L"192.168.50.100");
    // Automatic DNS: the servers the lease names.
    EXPECT_EQ(0, CallOn(8, L"SetDNSServerSearchOrder"));
    EXPECT_EQ(Eight().DNSServerSearchOrder,
              (std::vector<std::wstring>{L"192.168.50.1", L"8.8.8.8"}));

    // In 内网, which has no DHCP server, EnableDHCP gives 169.254.x.y at once; the static
    // gateway stays, as Windows keeps it, and no lease's gateway joins it.
    TArrayArg gateway({L"10.20.30.1"});
    EXPECT_EQ(0, CallOn(1, L"SetGateways", {gateway.Ref()}));
    EXPECT_EQ(0, CallOn(1, L"EnableDHCP"));
    EXPECT_EQ(One().IPAddress.front().rfind(L"169.254.", 0), 0u);
    EXPECT_EQ(One().DefaultIPGateway, std::vector<std::wstring>{L"10.20.30.1"});
    EXPECT_FALSE(Sim->CurrentLease(One().Guid));
    EXPECT_EQ(0, CallOn(1, L"SetDNSServerSearchOrder"));
    EXPECT_TRUE(One().DNSServerSearchOrder.empty());
}

TEST_F(SimulatedNetworkTest, SleepTakesTheLinksDownAndBringsBackOnlyThoseItTook) {
    ComPtr<IDispatch> wmi = BindServices(L"winmgmts:\\\\.\\root\\WMI");
    const auto events = [&](const wchar_t* className) {
        ScopedVariant text(std::wstring(L"select * from ") + className), language(L"WQL"),
            flags(48);
        return ComPtr<IDispatch>(CallMethod(wmi.Get(), L"ExecNotificationQuery",
                                            {text.Get(), language.Get(), flags.Get()})
                                     .Get()
                                     .pdispVal);
    };
    ComPtr<IDispatch> connects = events(L"MSNdis_StatusMediaConnect"),
                      disconnects = events(L"MSNdis_StatusMediaDisconnect");
    const auto received = [&](IDispatch* source) {
        std::vector<std::wstring> names;
        for (;;) {
            ScopedVariant wait(50);
            if (ErrorOf([&] {
                    names.push_back(
                        Text(Object(source, L"NextEvent", {wait.Get()}).Get(), L"InstanceName"));
                }) != S_OK)
                return names;
        }
    };
    SetAddress(One(), L"10.20.30.41", L"255.255.255.0");
    EXPECT_EQ(0u, Sim->AsleepMs());

    // Only the wired adapter's cable is in; the USB adapter's stays out throughout.
    Sim->Suspend();
    Sim->Suspend();
    EXPECT_EQ(received(disconnects.Get()), std::vector<std::wstring>{kIntel});
    EXPECT_FALSE(One().MediaConnected);
    EXPECT_FALSE(Arp(One(), L"10.20.30.1").first) << "asleep";
    EXPECT_GE(Sim->AsleepMs(), 950u) << "the time asleep counts while it lasts";

    Sim->Resume();
    Sim->Resume();
    const ULONGLONG asleep = Sim->AsleepMs();
    EXPECT_EQ(received(connects.Get()), std::vector<std::wstring>{kIntel});
    EXPECT_TRUE(One().MediaConnected);
    EXPECT_EQ(One().Network, L"内网");
    EXPECT_FALSE(Eight().MediaConnected);
    EXPECT_EQ(Arp(One(), L"10.20.30.1").first, L"00-1A-2B-10-20-01");
    EXPECT_EQ(Sim->AsleepMs(), asleep) << "awake, the count stands";

    // A DHCP adapter leases again after its delay; a second sleep adds to the count.
    ASSERT_TRUE(Sim->MoveCable(kRealtek, true));
    ASSERT_TRUE(LeaseArrives(Eight()));
    Sim->Suspend();
    EXPECT_FALSE(Sim->CurrentLease(Eight().Guid));
    Sleep(100);
    Sim->Resume();
    EXPECT_GE(Sim->AsleepMs(), asleep + 90);
    EXPECT_TRUE(LeaseArrives(Eight()));
}

} // namespace
