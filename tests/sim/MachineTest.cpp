// The machine --simulate shows, a current laptop, as the classes of root\cimv2 and
// root\StandardCimv2 describe it, and the simulated netsh acting on it.
#include "SimFixture.h"
#include "sim/SimNetsh.h"

namespace {

TEST_F(SimulatedWmiTest, TheDefaultMachineIsALaptopWithWiFiAndVirtualAdapters) {
    Wmi->SetDefaultAdapters();
    ComPtr<IDispatch> cimv2 = BindServices();
    std::vector<std::wstring> enabled;
    for (const auto& c : Query(cimv2.Get(), L"select * from Win32_NetworkAdapterConfiguration "
                                            L"where IPEnabled = true"))
        enabled.push_back(Text(c.Get(), L"Index"));
    // The VPN adapter's tunnel is down: no IP.
    EXPECT_EQ(enabled, (std::vector<std::wstring>{L"1", L"8", L"12", L"17"}));
    std::vector<std::wstring> names, types;
    for (const auto& a : Query(cimv2.Get(), L"select * from Win32_NetworkAdapter")) {
        names.push_back(Text(a.Get(), L"NetConnectionID"));
        types.push_back(Text(a.Get(), L"AdapterType"));
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"以太网", L"以太网 2", L"WLAN", L"vEthernet (WSL)",
                                                L"以太网 3"}));
    // Win32_NetworkAdapter cannot tell Wi-Fi from wired.
    EXPECT_EQ(types, std::vector<std::wstring>(5, L"Ethernet 802.3"));

    // MSFT_NetAdapter can, tied to the others by InterfaceIndex.
    ComPtr<IDispatch> standard = BindServices(L"winmgmts:\\\\.\\root\\StandardCimv2");
    std::vector<std::wstring> kinds;
    for (const auto& n : Query(standard.Get(), L"select * from MSFT_NetAdapter"))
        kinds.push_back(Text(n.Get(), L"Name") + L" " + Text(n.Get(), L"InterfaceIndex") + L" " +
                        Text(n.Get(), L"NdisPhysicalMedium") + L" " +
                        Text(n.Get(), L"HardwareInterface") + L" " + Text(n.Get(), L"Virtual") +
                        L" " + Text(n.Get(), L"MediaConnectState"));
    EXPECT_EQ(kinds, (std::vector<std::wstring>{
                         L"以太网 7 14 True False 1",
                         L"以太网 2 11 14 True False 1",
                         L"WLAN 15 9 True False 1",
                         L"vEthernet (WSL) 33 14 False True 1",
                         L"以太网 3 42 14 False False 2",
                     }));
    EXPECT_EQ(
        Text(Query(cimv2.Get(), L"select * from Win32_NetworkAdapter where Index = 12")[0].Get(),
             L"InterfaceIndex"),
        L"15");
}

TEST_F(SimulatedWmiTest, TheSimulatedNetshActsAsWindowsNetshDoes) {
    std::vector<TSimAdapter>& adapters = Wmi->Adapters();
    const TSimAdapter& one = adapters[0];
    const std::wstring set = L"netsh interface ip set address \"以太网\" ";
    EXPECT_EQ(0, SimApplyNetshCommand(adapters, set + L"static 10.0.0.5 255.0.0.0 10.0.0.1 1"));
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.1"}, one.DefaultIPGateway);
    EXPECT_EQ(0, SimApplyNetshCommand(adapters, set + L"static 10.0.0.6 255.0.0.0 none"));
    EXPECT_TRUE(one.DefaultIPGateway.empty());
    EXPECT_EQ(0, SimApplyNetshCommand(adapters, L"netsh interface ip set dns \"以太网\" static "
                                                L"10.0.0.53"));
    EXPECT_EQ(0,
              SimApplyNetshCommand(adapters, L"netsh interface ip add dns \"以太网\" 10.0.0.54"));
    EXPECT_EQ((std::vector<std::wstring>{L"10.0.0.53", L"10.0.0.54"}), one.DNSServerSearchOrder);
    // Servers taken without contacting them, as the engine asks.
    const std::wstring dns = L"netsh interface ip set dns \"以太网\" static 10.0.0.63 validate=no";
    EXPECT_EQ(0, SimApplyNetshCommand(adapters, dns));
    EXPECT_EQ(0, SimApplyNetshCommand(
                     adapters, L"netsh interface ip add dns \"以太网\" 10.0.0.64 validate=no"));
    EXPECT_EQ((std::vector<std::wstring>{L"10.0.0.63", L"10.0.0.64"}), one.DNSServerSearchOrder);
    EXPECT_EQ(1, SimApplyNetshCommand(adapters, dns + L" validate=no"));
    EXPECT_EQ(0, SimApplyNetshCommand(adapters, set + L"dhcp "));
    EXPECT_TRUE(one.DHCPEnabled);
    // "DHCP is already enabled on this interface.", and what netsh refuses.
    EXPECT_EQ(1, SimApplyNetshCommand(adapters, set + L"dhcp "));
    EXPECT_EQ(1, SimApplyNetshCommand(adapters, set + L"static 10.0.0.5 255.0.255.0 none"));
    EXPECT_EQ(1, SimApplyNetshCommand(adapters, L"netsh interface ip set address 以太网 2 dhcp"));
    EXPECT_EQ(1, SimApplyNetshCommand(adapters, L"netsh interface ip show config"));
    EXPECT_TRUE(Wmi->Calls().empty()) << "netsh calls no WMI method";
}

} // namespace
