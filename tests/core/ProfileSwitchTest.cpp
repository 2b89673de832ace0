// A switch as Windows answers it: the simulated adapters behave as Windows documents (81 from
// EnableStatic on a static adapter, gateways kept by EnableDHCP, SetGateways only while
// static), and what an adapter reads back afterwards decides, for both engines.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>

#include "core/NetshEngine.h"
#include "core/ProfileCheck.h"
#include "core/ProfileSwitch.h"
#include "core/Settings.h"
#include "core/WmiEngine.h"
#include "fakes/SimulatedWmi.h"
#include "framework/Strings.h"
#include "sim/SimNetsh.h"
#include "support/FakeNetsh.h"
#include "support/Seams.h"
#include "support/TempFolder.h"
#include "wmi/WmiException.h"

namespace {

using Lines = std::vector<std::wstring>;
const HRESULT kFailed = static_cast<HRESULT>(0x80041001);       // WBEM_E_FAILED
const HRESULT kAccessDenied = static_cast<HRESULT>(0x80041003); // WBEM_E_ACCESS_DENIED

// "<index> <method> <args> = <answer>", each array argument as {a,b}.
Lines Summary(const std::vector<TSimCall>& calls) {
    Lines lines;
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
        lines.push_back(line + L" = " + std::to_wstring(call.Result));
    }
    return lines;
}

class ProfileSwitch : public ::testing::Test {
protected:
    void SetUp() override {
        // The default machine: 1 wired static, 8 USB Ethernet DHCP, 12 Wi-Fi, 17 WSL switch,
        // 21 an idle VPN.
        sim = &TSimulatedWmi::Install();
        sim->SetDefaultAdapters();
        OpenSettingsAt(folder.File(L"Config.ini"));
    }
    void TearDown() override { TSimulatedWmi::Uninstall(); }
    // Profiles A (static 10.1.0.5/16, gateway 10.1.0.1) and B (static 10.2.0.5/16, gateway
    // 10.2.0.1) and what follows, limited to the wired adapter.
    void Config(const std::string& more, const std::string& net = "Adapter=1\r\n") {
        folder.WriteBytes(L"Config.ini",
                          "[NET]\r\n" + net +
                              "[A]\r\nIPAddress=10.1.0.5\r\nIPSubnet=255.255.0.0\r\n"
                              "DefaultIPGateway=10.1.0.1\r\nDNSA=10.1.0.53\r\nDNSB=10.1.0.54\r\n"
                              "[B]\r\nIPAddress=10.2.0.5\r\nIPSubnet=255.255.0.0\r\n"
                              "DefaultIPGateway=10.2.0.1\r\nDNSA=10.2.0.53\r\n" +
                              more);
    }
    TSimAdapter& Adapter(int index) {
        for (TSimAdapter& a : sim->Adapters())
            if (a.Index == index) return a;
        throw std::runtime_error("no adapter");
    }
    std::vector<int> AdaptersCalled() const {
        std::vector<int> indexes;
        for (const TSimCall& call : sim->Calls())
            if (std::find(indexes.begin(), indexes.end(), call.AdapterIndex) == indexes.end())
                indexes.push_back(call.AdapterIndex);
        return indexes;
    }
    std::wstring NetshLog() {
        const std::wstring log = FromUtf8(folder.ReadBytes(L"netsh.log"));
        DeleteFileW(folder.File(L"netsh.log").c_str());
        return log;
    }

    TempFolder folder;
    const ScopedFakeNetsh netsh{folder.File(L"netsh.log")};
    // Long enough for the lag of the test that needs it, short enough for the tests that end
    // with a profile never in place.
    static constexpr DWORD readBackLimit = 3000;
    const ScopedSeam<DWORD> limit{&SetReadBackLimit, readBackLimit};
    TSimulatedWmi* sim = nullptr;
    bool elevated = true;
    const ScopedSeam<std::function<bool()>> elevation{&SetProcessElevatedFunction,
                                                      [this] { return elevated; }};
};

TEST_F(ProfileSwitch, StaticToStaticSucceedsAlthoughEnableStaticAnswers81) {
    Config("");
    for (const wchar_t* profile : {L"A", L"B", L"A"}) {
        sim->ClearCalls();
        const TSwitchResult result = SwitchProfile(profile);
        EXPECT_FALSE(result.Failed) << profile << ": " << result.Cause;
        EXPECT_EQ(result.Code, 0);
        // The adapter was static already: Windows sets the address and answers 81.
        EXPECT_EQ(Summary(sim->Calls()).front().substr(0, 17), L"1 EnableStatic {1");
        EXPECT_EQ(sim->Calls().front().Result, 81u);
    }
    EXPECT_EQ(Adapter(1).IPAddress, Lines{L"10.1.0.5"});
    EXPECT_EQ(Adapter(1).DefaultIPGateway, Lines{L"10.1.0.1"});
    EXPECT_EQ(Adapter(1).DNSServerSearchOrder, (Lines{L"10.1.0.53", L"10.1.0.54"}));
}

TEST_F(ProfileSwitch, CallsReachTheAdapterAsOneBasedStringArraysByReference) {
    Config("[C]\r\nIPAddress=10.3.0.5\r\nDNSA=10.3.0.53\r\n");
    EXPECT_FALSE(SwitchProfile(L"C").Failed);
    // No mask: the class C mask; no gateway: the adapter's own address clears the old one.
    EXPECT_EQ(Summary(sim->Calls()), (Lines{
                                         L"1 EnableStatic {10.3.0.5} {255.255.255.0} = 81",
                                         L"1 SetGateways {10.3.0.5} = 0",
                                         L"1 SetDNSServerSearchOrder {10.3.0.53} = 0",
                                     }));
    for (const TSimCall& call : sim->Calls()) {
        EXPECT_EQ(call.Args.size(), 1u + (call.Method == L"EnableStatic")) << "no cost metric";
        for (const TSimArgument& arg : call.Args) {
            EXPECT_TRUE(arg.ByRef && arg.IsArray) << call.Method;
            EXPECT_EQ(arg.ElementType, VT_BSTR) << call.Method;
            EXPECT_EQ(arg.Dimensions, 1) << call.Method;
            EXPECT_EQ(arg.LowerBound, 1) << call.Method;
        }
    }
    EXPECT_TRUE(Adapter(1).DefaultIPGateway.empty()) << "no gateway of the last profile is left";
}

TEST_F(ProfileSwitch, DhcpLeavesNoStaticGatewayBehindAndStaticFollowsIt) {
    Config("[D]\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n");
    ASSERT_FALSE(SwitchProfile(L"A").Failed);
    sim->ClearCalls();
    const TSwitchResult dhcp = SwitchProfile(L"D");
    EXPECT_FALSE(dhcp.Failed) << dhcp.Cause;
    // While the adapter is still static its gateway is cleared, the documented way.
    EXPECT_EQ(Summary(sim->Calls()), (Lines{
                                         L"1 SetGateways {10.1.0.5} = 0",
                                         L"1 EnableDHCP = 0",
                                         L"1 SetDNSServerSearchOrder (not supplied) = 0",
                                     }));
    EXPECT_TRUE(Adapter(1).DHCPEnabled);
    EXPECT_EQ(Adapter(1).DefaultIPGateway, Lines{L"192.168.1.1"}) << "the lease's gateway only";

    // From DHCP to static: EnableStatic first, so SetGateways meets a static adapter.
    sim->ClearCalls();
    const TSwitchResult back = SwitchProfile(L"B");
    EXPECT_FALSE(back.Failed) << back.Cause;
    EXPECT_EQ(sim->Calls().front().Result, 0u);
    EXPECT_EQ(Adapter(1).DefaultIPGateway, Lines{L"10.2.0.1"});
}

TEST_F(ProfileSwitch, AGatewayThatSurvivesIsAFailureNotASuccess) {
    Config("[D]\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n");
    ASSERT_FALSE(SwitchProfile(L"A").Failed);
    // The adapter's Properties window holds its configuration: the clear is refused, and the
    // read-back finds the old gateway beside the lease's.
    sim->SetResult(L"SetGateways", 2147786788u);
    const TSwitchResult result = SwitchProfile(L"D");
    EXPECT_TRUE(result.Failed);
    EXPECT_EQ(result.Code, 2147786788LL) << "a uint32, never negative";
    EXPECT_EQ(result.Cause, DocumentedAnswerCause(2147786788u));
    EXPECT_NE(result.Cause.find(L"属性"), std::wstring::npos) << "tells what to close";
}

TEST_F(ProfileSwitch, AnswersWithTheProfileNotInPlaceFailWithTheirChineseCause) {
    Config("");
    sim->SetResult(L"EnableStatic", 66);
    TSwitchResult result = SwitchProfile(L"B");
    EXPECT_TRUE(result.Failed);
    EXPECT_EQ(result.Code, 66);
    EXPECT_EQ(result.Cause, L"子网掩码无效");
    EXPECT_EQ(Adapter(1).IPAddress, Lines{L"192.168.1.20"});

    // Answered 0 (and 81), yet not in place: the adapter is not what the switch says.
    sim->ResetBehaviour();
    sim->OnCall = [this](const TSimCall& call) {
        if (call.Method == L"SetDNSServerSearchOrder") Adapter(1).IPAddress = {L"10.9.9.9"};
    };
    result = SwitchProfile(L"A");
    EXPECT_TRUE(result.Failed);
    EXPECT_EQ(result.Cause, NotInPlaceCause);
    sim->OnCall = nullptr;

    // Every documented answer has its cause; others keep the provider's text or number.
    for (uint32_t code = 64; code <= 100; ++code)
        EXPECT_EQ(DocumentedAnswerCause(code).empty(), code == 99) << code;
    sim->ResetBehaviour();
    sim->SetResult(L"EnableStatic", 2);
    EXPECT_EQ(SwitchProfile(L"B").Cause, L"2");
}

TEST_F(ProfileSwitch, RestartAndAccessAnswersKeepTheirMeaning) {
    Config("");
    sim->SetResult(L"EnableStatic", 1);
    const TSwitchResult restart = SwitchProfile(L"B");
    EXPECT_TRUE(restart.RestartNeeded());
    EXPECT_EQ(Summary(sim->Calls())[1], L"1 SetGateways {10.2.0.1} = 0");

    // The adapter shows B now: A is not in place while the methods refuse it.
    sim->SetResult(L"EnableStatic", 91);
    EXPECT_EQ(SwitchProfile(L"A").Cause, L"拒绝访问");
    elevated = false;
    EXPECT_EQ(SwitchProfile(L"A").Cause, NotElevatedCause);

    sim->ResetBehaviour();
    sim->SetRaise(L"EnableStatic", kAccessDenied);
    EXPECT_EQ(SwitchProfile(L"A").Cause, NotElevatedCause);
    sim->SetRaise(L"EnableStatic", kFailed);
    const TSwitchResult raised = SwitchProfile(L"A");
    EXPECT_EQ(raised.Code, -1);
    EXPECT_EQ(raised.Cause, WmiErrorText(kFailed));
}

TEST_F(ProfileSwitch, NamedAdapterAloneChangesAndEmptyMeansThePhysicalWiredOnes) {
    const TSimAdapter wifi = Adapter(12), wsl = Adapter(17);
    Config("");
    EXPECT_FALSE(SwitchProfile(L"A").Failed);
    EXPECT_EQ(AdaptersCalled(), std::vector<int>{1});

    // No adapter named, as in every Config.ini of earlier versions: the wired adapter and the
    // USB Ethernet one, never Wi-Fi, the WSL switch or the VPN adapter.
    for (const char* net : {"", "Method=b\r\n"}) {
        sim->ClearCalls();
        Config("", net);
        EXPECT_FALSE(SwitchProfile(L"B").Failed) << net;
        EXPECT_EQ(AdaptersCalled(), (std::vector<int>{1, 8})) << "Method=b is not netsh";
        EXPECT_EQ(NetshLog(), L"");
    }
    for (const TSimAdapter* kept : {&wifi, &wsl}) {
        const TSimAdapter& now = Adapter(kept->Index);
        EXPECT_EQ(now.IPAddress, kept->IPAddress) << kept->Index;
        EXPECT_EQ(now.DefaultIPGateway, kept->DefaultIPGateway) << kept->Index;
        EXPECT_EQ(now.DNSServerSearchOrder, kept->DNSServerSearchOrder) << kept->Index;
        EXPECT_EQ(now.DHCPEnabled, kept->DHCPEnabled) << kept->Index;
    }

    // A failure on one adapter is not hidden by a success on the next.
    sim->SetResult(L"EnableStatic", 70, 1);
    EXPECT_EQ(SwitchProfile(L"A").Code, 70);
    sim->ResetBehaviour();

    // Without a physical wired adapter there is nothing a switch may change.
    for (TSimAdapter& a : sim->Adapters())
        a.NdisPhysicalMedium = 9;
    EXPECT_EQ(SwitchProfile(L"A").Cause, NoAdapterCause);
}

TEST_F(ProfileSwitch, TheAdapterIsKnownByItsGuidAndNamedWhenGone) {
    const std::wstring guid = Adapter(1).Guid;
    Config("", "Adapter=1\r\nAdapterGuid=" + ToUtf8(guid) +
                   "\r\nAdapterName=Intel(R) PRO/1000 MT Network Connection\r\n");
    // A driver update: a new Index, the same interface.
    Adapter(1).Index = 31;
    EXPECT_FALSE(SwitchProfile(L"A").Failed);
    EXPECT_EQ(AdaptersCalled(), std::vector<int>{31});
    EXPECT_EQ(ReadSwitchOptions().Adapter.Index, L"31") << "brought up to date";
    EXPECT_EQ(ReadSwitchOptions().Adapter.Guid, guid);
    // Another adapter under the old Index is not the one remembered.
    Adapter(8).Index = 1;
    sim->ClearCalls();
    Adapter(31).Guid = L"{00000000-0000-0000-0000-000000000000}";
    const TSwitchResult gone = SwitchProfile(L"B");
    EXPECT_TRUE(gone.Failed);
    EXPECT_EQ(gone.Cause, L"找不到网卡“Intel(R) PRO/1000 MT Network Connection”：请在“参数设置”中"
                          L"重新选择网卡。");
    EXPECT_TRUE(sim->Calls().empty());
    // An earlier version's Config.ini names the Index alone.
    Config("", "Adapter=1\r\n");
    EXPECT_FALSE(SwitchProfile(L"A").Failed);
    EXPECT_EQ(AdaptersCalled(), std::vector<int>{1});
}

TEST_F(ProfileSwitch, AnIPv6RouterOnTheNetworkIsNoReasonToFail) {
    // The wired adapter's network advertises an IPv6 router: Windows lists fe80:: entries after
    // the IPv4 ones, and keeps them whatever is set.
    ASSERT_FALSE(Adapter(1).IPv6Router.empty());
    Config("[D]\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n");
    for (const wchar_t* profile : {L"A", L"B", L"D", L"A"}) {
        const TSwitchResult result = SwitchProfile(profile);
        EXPECT_FALSE(result.Failed) << profile << ": " << result.Cause;
        const std::optional<TAdapterState> shown = ReadAdapterState(BindCimv2().Get(), L"1");
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->DefaultIPGateway.back(), L"fe80::1") << "the network's, listed";
    }
}

// Ends the lag of an adapter that shows its change late, from a timer of the thread that waits.
std::function<void()> gShowLate;
void CALLBACK ShowLate(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (gShowLate) gShowLate();
}

TEST_F(ProfileSwitch, TheAdapterIsAskedAgainUntilItShowsTheProfileOrTheLimitPasses) {
    Config("");
    // The class shows the change 2 s after the last answer.
    sim->OnCall = [this](const TSimCall& call) {
        if (call.Method != L"SetDNSServerSearchOrder") return;
        const TSimAdapter set = Adapter(1);
        Adapter(1).IPAddress = {L"192.168.1.20"};
        gShowLate = [this, set] { Adapter(1) = set; };
        SetTimer(nullptr, 0, 2000, ShowLate);
    };
    ULONGLONG start = GetTickCount64();
    TSwitchResult result = SwitchProfile(L"A");
    EXPECT_FALSE(result.Failed) << result.Cause;
    EXPECT_GE(GetTickCount64() - start, 1900u);
    sim->OnCall = nullptr;

    // Never in place: failed once the limit has passed. Servers in the other order are not
    // the profile's: the preferred one is the first.
    sim->OnCall = [this](const TSimCall& call) {
        if (call.Method == L"SetDNSServerSearchOrder")
            std::reverse(Adapter(1).DNSServerSearchOrder.begin(),
                         Adapter(1).DNSServerSearchOrder.end());
    };
    start = GetTickCount64();
    result = SwitchProfile(L"B");
    result = SwitchProfile(L"A");
    EXPECT_TRUE(result.Failed);
    EXPECT_EQ(result.Cause, NotInPlaceCause);
    EXPECT_GE(GetTickCount64() - start, static_cast<ULONGLONG>(readBackLimit));
    sim->OnCall = nullptr;
    gShowLate = nullptr;
}

TEST_F(ProfileSwitch, AValueThatIsNoPlainAddressReachesNoAdapterAndNoCommandLine) {
    // Config.ini can be edited by anyone who can write it; an elevated switch takes its values.
    const std::pair<const char*, const char*> hostile[] = {
        {"DNSB", "8.8.8.8 validate=no"},
        {"DNSA", "10.0.0.1\""},
        {"IPAddress", "1.2.3.4.5"},
        {"IPAddress", "010.001.002.003"},
        {"DNSA", "\xEF\xBC\x91.1.1.1"}, // a full-width 1, in UTF-8
        {"IPSubnet", "255.0.255.0"},
        {"IPAddress", "10.0.0.256"},
        {"DefaultIPGateway", "10.0.0.1 1 & calc"},
    };
    const std::map<std::string, std::string> good = {{"IPAddress", "10.1.0.5"},
                                                     {"IPSubnet", "255.255.0.0"},
                                                     {"DefaultIPGateway", "10.1.0.1"},
                                                     {"DNSA", "10.1.0.53"},
                                                     {"DNSB", "10.1.0.54"}};
    for (const char* net : {"Adapter=1\r\n", "Adapter=1\r\nMethod=B\r\n"}) {
        for (const auto& [key, value] : hostile) {
            sim->ClearCalls();
            std::string profile = "[X]\r\n";
            for (const char* k : {"IPAddress", "IPSubnet", "DefaultIPGateway", "DNSA", "DNSB"})
                profile +=
                    std::string(k) + "=" + (std::string(k) == key ? value : good.at(k)) + "\r\n";
            folder.WriteBytes(L"Config.ini", std::string("\xEF\xBB\xBF[NET]\r\n") + net + profile);
            const TSwitchResult result = SwitchProfile(L"X");
            const std::wstring shown = FromUtf8(value);
            EXPECT_TRUE(result.Failed) << key << "=" << value;
            EXPECT_EQ(result.Code, -1);
            EXPECT_EQ(result.Cause.rfind(FromUtf8(key) + L" 的值“" + shown + L"”不是", 0), 0u)
                << result.Cause;
            EXPECT_TRUE(sim->Calls().empty()) << "an adapter method was called";
            EXPECT_EQ(NetshLog(), L"") << "netsh was run";
        }
    }
    // A DHCP profile's kept address is not applied, so not looked at; the values a profile may
    // leave empty are allowed empty.
    Config("[Y]\r\nDHCPEnabled=1\r\nIPAddress=old junk\r\nDNSEnabled=1\r\nDNSA=junk\r\n"
           "[Z]\r\nIPAddress=10.3.0.5\r\nIPSubnet=\r\nDefaultIPGateway=\r\nDNSA=\r\n");
    EXPECT_FALSE(SwitchProfile(L"Y").Failed) << SwitchProfile(L"Y").Cause;
    EXPECT_FALSE(SwitchProfile(L"Z").Failed) << SwitchProfile(L"Z").Cause;
}

TEST(ProfileCheck, AddressesHaveTheirOnePlainForm) {
    EXPECT_EQ(ParseIPv4(L"0.0.0.0"), 0u);
    EXPECT_EQ(ParseIPv4(L"255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseIPv4(L"10.0.0.1"), 0x0A000001u);
    // The private-profile API trims the blanks around a value; another caller may not.
    TIpProfile blank;
    blank.IPAddress = L"10.0.0.5";
    blank.DNSA = L" 10.0.0.1";
    EXPECT_EQ(ProfileValueFault(blank, false), L"DNSA 的值“ 10.0.0.1”不是 IPv4 地址");
    for (const wchar_t* bad :
         {L"", L" 1.2.3.4", L"1.2.3", L"1.2.3.4.", L".1.2.3.4", L"1..2.3", L"1.2.3.04",
          L"1.2.3.1000", L"1.2.3.-4", L"1.2.3.4 ", L"1.2.3.\xFF14", L"0x1.2.3.4"})
        EXPECT_FALSE(ParseIPv4(bad)) << bad;
    for (const wchar_t* mask :
         {L"255.255.255.0", L"255.255.255.255", L"128.0.0.0", L"255.255.254.0"})
        EXPECT_TRUE(IsSubnetMask(mask)) << mask;
    for (const wchar_t* mask : {L"0.0.0.0", L"255.0.255.0", L"0.255.255.255", L"255.255.255.1"})
        EXPECT_FALSE(IsSubnetMask(mask)) << mask;
}

TEST_F(ProfileSwitch, ASwitchThatReachesNoAdapterFails) {
    for (TSimAdapter& a : sim->Adapters())
        a.IPEnabled = false;
    for (const char* net : {"", "Method=B\r\n"}) {
        Config("", net);
        const TSwitchResult result = SwitchProfile(L"A");
        EXPECT_TRUE(result.Failed) << net;
        EXPECT_EQ(result.Cause, NoAdapterCause) << net;
    }
    sim->SetDefaultAdapters();
    for (const auto& [net, index] : {std::pair{"Adapter=5\r\n", L"5"},
                                     {"Adapter=5\r\nMethod=B\r\n", L"5"},
                                     {"Adapter=01\r\n", L"01"}}) {
        Config("", net);
        // Named as the user knew it, with where to choose it again.
        EXPECT_EQ(SwitchProfile(L"A").Cause,
                  L"找不到网卡“" + std::wstring(index) + L"”：请在“参数设置”中重新选择网卡。")
            << net;
    }
    EXPECT_TRUE(sim->Calls().empty());
    EXPECT_EQ(NetshLog(), L"");
}

TEST_F(ProfileSwitch, AQueryRejectedAtItsFirstRowRaisesInsteadOfReportingSuccess) {
    const HRESULT rejected = static_cast<HRESULT>(0x80041017); // WBEM_E_INVALID_QUERY
    sim->SetQueryError(L"Win32_NetworkAdapterConfiguration", rejected);
    Config("");
    try {
        const TSwitchResult result = SwitchProfile(L"A");
        ADD_FAILURE() << "a switch that reached no adapter answered " << result.Code;
    } catch (const EComError& e) {
        EXPECT_EQ(e.Code(), rejected);
    }
    EXPECT_TRUE(sim->Calls().empty());
}

TEST(AnswerCode, AUint32IsReadAsUnsignedAndOnlyANumberIsAnAnswer) {
    ScopedVariant i4(static_cast<int>(2147786788u)), one(1), text(L"0"), empty, null, word(L"done");
    null.SetNull();
    EXPECT_EQ(AnswerCode(i4.Get()), 2147786788u);
    EXPECT_EQ(AnswerCode(one.Get()), 1u);
    EXPECT_EQ(AnswerCode(text.Get()), 0u);
    for (const ScopedVariant* none : {&empty, &null, &word})
        EXPECT_FALSE(AnswerCode(none->Get()).has_value());
}

// netsh through the stand-in, which hands each command to this process's simulated netsh: the
// simulated adapters change as Windows' netsh would change them.
class NetshSwitch : public ProfileSwitch {
protected:
    TSimNetshReceiver receiver;
};

TEST_F(NetshSwitch, WithTheCableOutTheSwitchIsDoneForTheNextConnect) {
    for (const char* net : {"Adapter=1\r\n", "Adapter=1\r\nMethod=B\r\n"}) {
        Config("", net);
        Adapter(1).MediaConnected = false;
        const ULONGLONG start = GetTickCount64();
        const TSwitchResult result = SwitchProfile(L"A");
        EXPECT_FALSE(result.Failed) << net << result.Cause;
        EXPECT_EQ(result.Note, CableOutNote);
        EXPECT_LT(GetTickCount64() - start, static_cast<ULONGLONG>(readBackLimit))
            << "no wait for an address Windows does not show";
        EXPECT_FALSE(ReadAdapterState(BindCimv2().Get(), L"1")->IPAddress.size())
            << "no address shown while the cable is out";
        // The cable back in: the profile is there.
        Adapter(1).MediaConnected = true;
        const std::optional<TAdapterState> shown = ReadAdapterState(BindCimv2().Get(), L"1");
        EXPECT_EQ(shown->IPAddress.front(), L"10.1.0.5");
        EXPECT_EQ(shown->DefaultIPGateway.front(), L"10.1.0.1");
        NetshLog();
        // A refusal is a refusal, cable or not.
        if (std::string(net).find("Method") == std::string::npos) {
            Adapter(1).MediaConnected = false;
            sim->SetResult(L"EnableStatic", 66);
            EXPECT_TRUE(SwitchProfile(L"B").Failed);
            sim->ResetBehaviour();
            Adapter(1).MediaConnected = true;
        }
    }
}

TEST_F(NetshSwitch, WithNoAdapterNamedTheWiredOneIsChangedNotTheFirstWmiLists) {
    // Wi-Fi first in WMI's order, as it may well be.
    std::rotate(sim->Adapters().begin(), sim->Adapters().begin() + 2, sim->Adapters().begin() + 3);
    ASSERT_EQ(sim->Adapters().front().Index, 12);
    const TSimAdapter wifi = Adapter(12);
    Config("", "Method=B\r\n");
    const TSwitchResult result = SwitchProfile(L"A");
    EXPECT_FALSE(result.Failed) << result.Cause;
    EXPECT_EQ(NetshLog().find(L"netsh interface ip set address \"以太网\" static 10.1.0.5"), 0u);
    EXPECT_EQ(Adapter(12).IPAddress, wifi.IPAddress);
    EXPECT_EQ(Adapter(1).IPAddress, Lines{L"10.1.0.5"});
}

TEST_F(NetshSwitch, AProfileWithoutAMaskGetsTheDefaultOneAndIsInPlace) {
    Config("[M]\r\nIPAddress=10.5.0.5\r\nDefaultIPGateway=10.5.0.1\r\n",
           "Adapter=1\r\nMethod=B\r\n");
    const TSwitchResult result = SwitchProfile(L"M");
    EXPECT_FALSE(result.Failed) << result.Cause;
    EXPECT_EQ(Adapter(1).IPSubnet, Lines{DefaultMask});
}

TEST_F(NetshSwitch, ProfilesAreReadBackAfterTheirCommands) {
    Config("[D]\r\nDHCPEnabled=1\r\n", "Adapter=1\r\nMethod=B\r\n");
    for (const wchar_t* profile : {L"A", L"B", L"D", L"A"}) {
        const TSwitchResult result = SwitchProfile(profile);
        EXPECT_FALSE(result.Failed) << profile << ": " << result.Cause;
    }
    EXPECT_EQ(NetshLog(), L"netsh interface ip set address \"以太网\" static 10.1.0.5 255.255.0.0 "
                          L"10.1.0.1 1\r\n"
                          L"netsh interface ip set dns \"以太网\" static 10.1.0.53 validate=no\r\n"
                          L"netsh interface ip add dns \"以太网\" 10.1.0.54 validate=no\r\n"
                          L"netsh interface ip set address \"以太网\" static 10.2.0.5 255.255.0.0 "
                          L"10.2.0.1 1\r\n"
                          L"netsh interface ip set dns \"以太网\" static 10.2.0.53 validate=no\r\n"
                          L"netsh interface ip set address \"以太网\" dhcp \r\n"
                          L"netsh interface ip set dns \"以太网\" dhcp \r\n"
                          L"netsh interface ip set address \"以太网\" static 10.1.0.5 255.255.0.0 "
                          L"10.1.0.1 1\r\n"
                          L"netsh interface ip set dns \"以太网\" static 10.1.0.53 validate=no\r\n"
                          L"netsh interface ip add dns \"以太网\" 10.1.0.54 validate=no\r\n");
    EXPECT_EQ(Adapter(1).DefaultIPGateway, Lines{L"10.1.0.1"});
    EXPECT_TRUE(sim->Calls().empty()) << "no WMI method is called";
}

TEST_F(NetshSwitch, AnExitCodeCountsOnlyWhenTheAdapterDoesNotShowTheProfile) {
    // Windows' netsh exits 1 for "DHCP is already enabled on this interface.".
    Config("[D]\r\nDHCPEnabled=1\r\n", "Adapter=8\r\nMethod=B\r\n");
    EXPECT_FALSE(SwitchProfile(L"D").Failed);
    // A mask netsh would refuse never reaches it (see the test of values).
    // A gateway-less profile on the first IP-enabled adapter when none is named.
    Config("[C]\r\nIPAddress=10.3.0.5\r\nIPSubnet=255.255.0.0\r\n", "Method=B\r\n");
    EXPECT_FALSE(SwitchProfile(L"C").Failed);
    EXPECT_TRUE(Adapter(1).DefaultIPGateway.empty());
    EXPECT_EQ(Adapter(8).IPAddress, Lines{L"192.168.8.100"});

    const ScopedSeam missing(&SetNetshProgram, folder.File(L"missing\\netsh.exe"));
    Config("", "Adapter=1\r\nMethod=B\r\n");
    EXPECT_EQ(SwitchProfile(L"B").Cause, L"netsh 无法启动");
}

} // namespace
