// The WMI engine against the simulated provider: what each adapter receives, and in what shape.
#include <gtest/gtest.h>

#include <windows.h>

#include "core/NetshEngine.h"
#include "core/Settings.h"
#include "core/WmiEngine.h"
#include "framework/Automation.h"
#include "fakes/SimulatedWmi.h"
#include "framework/ComTypes.h"
#include "support/TempFolder.h"

namespace {

// "<index> <method> <args>" with each array argument as {a,b}.
std::vector<std::wstring> Summary(const std::vector<TSimCall>& calls) {
    std::vector<std::wstring> lines;
    for (const TSimCall& call : calls) {
        std::wstring line = std::to_wstring(call.AdapterIndex) + L" " + call.Method;
        for (const TSimArgument& arg : call.Args) {
            if (arg.NotSupplied) {
                line += L" (not supplied)";
                continue;
            }
            line += L" {";
            for (size_t i = 0; i < arg.Values.size(); ++i)
                line += (i ? L"," : L"") + arg.Values[i];
            line += L"}";
        }
        lines.push_back(line);
    }
    return lines;
}

class WmiEngine : public ::testing::Test {
protected:
    void SetUp() override {
        // A fresh provider for every test, with its two default adapters.
        sim = &TSimulatedWmi::Install();
        OpenSettingsAt(folder.File(L"Config.ini"));
    }
    void TearDown() override {
        TSimulatedWmi::Uninstall();
        // The netsh case points the engine and the stand-in at this test's folder.
        SetNetshProgram(L"");
        SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_LOG", nullptr);
        SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_EXIT", nullptr);
    }

    void Profile(const std::string& body) { folder.WriteBytes(L"Config.ini", "[A]\r\n" + body); }

    TSimulatedWmi* sim = nullptr;
    TempFolder folder;
};

TEST_F(WmiEngine, StaticProfileReachesEveryAdapterWithOneBasedStringArraysByReference) {
    Profile("IPAddress=10.0.0.5\r\nIPSubnet=255.255.0.0\r\nDefaultIPGateway=10.0.0.1\r\n"
            "DNSA=10.0.0.53\r\nDNSB=10.0.0.54\r\n");
    EXPECT_EQ(ApplyProfile(L"A", L""), 0);
    EXPECT_EQ(Summary(sim->Calls()), (std::vector<std::wstring>{
                                         L"1 EnableStatic {10.0.0.5} {255.255.0.0}",
                                         L"1 SetGateways {10.0.0.1}",
                                         L"8 EnableStatic {10.0.0.5} {255.255.0.0}",
                                         L"8 SetGateways {10.0.0.1}",
                                         L"1 SetDNSServerSearchOrder {10.0.0.53,10.0.0.54}",
                                         L"8 SetDNSServerSearchOrder {10.0.0.53,10.0.0.54}",
                                     }));
    for (const TSimCall& call : sim->Calls()) {
        for (const TSimArgument& arg : call.Args) {
            EXPECT_TRUE(arg.ByRef) << call.Method;
            EXPECT_TRUE(arg.IsArray) << call.Method;
            EXPECT_EQ(arg.ElementType, VT_BSTR) << call.Method;
            EXPECT_EQ(arg.Dimensions, 1) << call.Method;
            EXPECT_EQ(arg.LowerBound, 1) << call.Method;
        }
    }
    EXPECT_EQ(sim->Calls()[1].Args.size(), 1u) << "no cost metric is passed";
    for (const TSimAdapter& adapter : sim->Adapters()) {
        EXPECT_FALSE(adapter.DHCPEnabled);
        EXPECT_EQ(adapter.IPAddress, std::vector<std::wstring>{L"10.0.0.5"});
        EXPECT_EQ(adapter.DefaultIPGateway, std::vector<std::wstring>{L"10.0.0.1"});
    }
    // Each step binds to the service and queries anew.
    EXPECT_EQ(sim->MonikerBinds(), 2);
    EXPECT_EQ(sim->Queries(),
              (std::vector<std::wstring>(
                  2, L"Select * from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE")));
}

TEST_F(WmiEngine, EmptyGatewayKeepsTheOldOneAndEmptyMaskIsAClassC) {
    const auto oldGateway = sim->Adapters()[0].DefaultIPGateway;
    Profile("IPAddress=10.0.0.5\r\nDNSEnabled=1\r\n");
    EXPECT_EQ(ApplyProfile(L"A", L""), 0);
    EXPECT_EQ(Summary(sim->Calls()), (std::vector<std::wstring>{
                                         L"1 EnableStatic {10.0.0.5} {255.255.255.0}",
                                         L"8 EnableStatic {10.0.0.5} {255.255.255.0}",
                                         L"1 SetDNSServerSearchOrder (not supplied)",
                                         L"8 SetDNSServerSearchOrder (not supplied)",
                                     }));
    EXPECT_EQ(sim->Adapters()[0].DefaultIPGateway, oldGateway);
}

TEST_F(WmiEngine, MissingOrDhcpAddressTurnsDhcpOn) {
    for (const char* body : {"DHCPEnabled=1\r\nIPAddress=10.9.9.9\r\n", "DHCPEnabled=0\r\n",
                             "DHCPEnabled=0\r\nIPAddress=DHCP\r\nIPSubnet=255.0.0.0\r\n"}) {
        sim->ClearCalls();
        Profile(body);
        EXPECT_EQ(ApplyProfile(L"A", L""), 0);
        ASSERT_EQ(sim->Calls().size(), 4u) << body;
        EXPECT_EQ(sim->Calls()[0].Method, L"EnableDHCP") << body;
        EXPECT_TRUE(sim->Calls()[0].Args.empty());
        EXPECT_TRUE(sim->Adapters()[0].DHCPEnabled);
    }
}

TEST_F(WmiEngine, DnsServersGivenOrAutomatic) {
    // DNSEnabled=1 wins over the servers; no server at all is automatic as well.
    for (const char* body : {"DHCPEnabled=1\r\nDNSEnabled=1\r\nDNSA=1.1.1.1\r\n",
                             "DHCPEnabled=1\r\nDNSEnabled=0\r\n"}) {
        sim->ClearCalls();
        Profile(body);
        ApplyProfile(L"A", L"");
        const TSimArgument& arg = sim->Calls()[2].Args.at(0);
        EXPECT_TRUE(arg.NotSupplied) << body;
        EXPECT_EQ(arg.Type, VT_ERROR) << body;
    }
    sim->ClearCalls();
    Profile("DHCPEnabled=1\r\nDNSB=10.0.0.54\r\n");
    ApplyProfile(L"A", L"");
    EXPECT_EQ(Summary(sim->Calls())[2], L"1 SetDNSServerSearchOrder {10.0.0.54}");
}

TEST_F(WmiEngine, NonZeroAnswersFailTheSwitch) {
    Profile("IPAddress=10.0.0.5\r\nDefaultIPGateway=10.0.0.1\r\nDNSA=10.0.0.53\r\n");
    // Done after a restart is reported as 1, and the gateway belongs to that change.
    sim->SetResult(L"EnableStatic", 1);
    EXPECT_EQ(ApplyProfile(L"A", L""), 1);
    EXPECT_EQ(Summary(sim->Calls())[1], L"1 SetGateways {10.0.0.1}");

    // The address step's code comes first even when the DNS step succeeds.
    sim->ResetBehaviour();
    sim->SetResult(L"SetGateways", 67);
    EXPECT_EQ(ApplyProfile(L"A", L""), 67);
    sim->ResetBehaviour();
    sim->SetResult(L"SetDNSServerSearchOrder", 70);
    EXPECT_EQ(ApplyProfile(L"A", L""), 70);
    // When both steps fail, the address step's code is the one reported.
    sim->SetResult(L"SetGateways", 67);
    EXPECT_EQ(ApplyProfile(L"A", L""), 67);
}

TEST_F(WmiEngine, FailureOnAnyAdapterIsNotHiddenByALaterSuccess) {
    Profile("IPAddress=10.0.0.5\r\nDNSEnabled=1\r\n");
    sim->SetResult(L"EnableStatic", 66, 1);
    EXPECT_EQ(ApplyProfile(L"A", L""), 66);
    sim->ResetBehaviour();
    sim->SetResult(L"EnableStatic", 66, 8);
    EXPECT_EQ(ApplyProfile(L"A", L""), 66);
}

TEST_F(WmiEngine, RaisingMethodCountsAsMinusOneAndTheOthersGoOn) {
    Profile("IPAddress=10.0.0.5\r\nDNSEnabled=1\r\n");
    sim->SetRaise(L"EnableStatic", 0x80041001, 1);
    EXPECT_EQ(ApplyProfile(L"A", L""), -1);
    const auto calls = Summary(sim->Calls());
    EXPECT_NE(std::find(calls.begin(), calls.end(), L"8 EnableStatic {10.0.0.5} {255.255.255.0}"),
              calls.end());
    EXPECT_EQ(sim->Adapters()[1].IPAddress, std::vector<std::wstring>{L"10.0.0.5"});
}

TEST_F(WmiEngine, NoIpEnabledAdapterIsASuccessWithNothingCalled) {
    for (TSimAdapter& adapter : sim->Adapters())
        adapter.IPEnabled = false;
    Profile("IPAddress=10.0.0.5\r\n");
    EXPECT_EQ(ApplyProfile(L"A", L""), 0);
    EXPECT_TRUE(sim->Calls().empty());
}

TEST_F(WmiEngine, OnlyMethodBHandsTheProfileToNetsh) {
    folder.WriteBytes(L"Config.ini", "[NET]\r\nMethod=b\r\n[A]\r\nDHCPEnabled=1\r\n");
    EXPECT_EQ(ApplyProfile(L"A", L"LAN"), 0);
    EXPECT_EQ(sim->Calls().size(), 4u) << "the value is compared with case";

    sim->ClearCalls();
    folder.WriteBytes(L"Config.ini", "[NET]\r\nMethod=B\r\n[A]\r\nDHCPEnabled=1\r\n");
    SetNetshProgram(ExecutableFolder() + L"fakes\\netsh\\netsh.exe");
    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_LOG", folder.File(L"netsh.log").c_str());
    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_EXIT", L"0,9");
    EXPECT_EQ(ApplyProfile(L"A", L"LAN"), 9) << "netsh's failure reaches the main window";
    EXPECT_TRUE(sim->Calls().empty());
    const std::string log = folder.ReadBytes(L"netsh.log");
    EXPECT_NE(log.find("netsh interface ip set address \"LAN\" dhcp "), std::string::npos) << log;
    EXPECT_NE(log.find("netsh interface ip set dns \"LAN\" dhcp "), std::string::npos) << log;
}

TEST_F(WmiEngine, AQueryRejectedAtItsFirstRowRaisesInsteadOfReportingSuccess) {
    // Accepted by ExecQuery and failing at the first Next, as WMI does with a query that
    // returns at once.
    const HRESULT rejected = static_cast<HRESULT>(0x80041017); // WBEM_E_INVALID_QUERY
    sim->SetQueryError(L"Win32_NetworkAdapterConfiguration", rejected);
    Profile("IPAddress=10.0.0.5\r\n");
    try {
        const int code = ApplyProfile(L"A", L"");
        ADD_FAILURE() << "a switch that reached no adapter answered " << code;
    } catch (const EComError& e) {
        EXPECT_EQ(e.Code(), rejected);
    }
    EXPECT_EQ(sim->Queries().size(), 1u) << "the error ends the switch at the address step";
    EXPECT_TRUE(sim->Calls().empty());
}

TEST(SwitchCode, OnlyANumberIsAnAnswerSoNothingPassesForSuccess) {
    ScopedVariant number(1), text(L"0"), empty, null, word(L"done");
    null.SetNull();
    EXPECT_EQ(SwitchCode(number.Get()), 1);
    EXPECT_EQ(SwitchCode(text.Get()), 0);
    for (const ScopedVariant* none : {&empty, &null, &word})
        EXPECT_EQ(SwitchCode(none->Get()), -1);
}

} // namespace
