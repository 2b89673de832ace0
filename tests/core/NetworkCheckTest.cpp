// Whether the adapter is on a profile's network, against a scripted network.
#include <gtest/gtest.h>

#include <windows.h>

#include <deque>
#include <mutex>
#include <thread>

#include "core/NetworkCheck.h"
#include "framework/Scoped.h"
#include "support/TempFolder.h"

namespace {

// Answers each try from a script, the last entry again once the script is spent.
class TScriptedNetwork : public INetworkProbe {
public:
    std::deque<std::optional<std::wstring>> Gateway{std::nullopt};
    std::deque<std::optional<TDhcpLease>> Leases{std::nullopt};
    int GatewayTries = 0, LeaseTries = 0;
    std::wstring AskedGateway;

    std::optional<std::wstring> GatewayHardwareAddress(const std::wstring& guid,
                                                       const std::wstring& gateway) override {
        std::lock_guard guard(FLock);
        EXPECT_EQ(guid, L"{D1}");
        ++GatewayTries;
        AskedGateway = gateway;
        return Next(Gateway);
    }
    std::optional<TDhcpLease> Lease(const std::wstring&) override {
        std::lock_guard guard(FLock);
        ++LeaseTries;
        return Next(Leases);
    }

private:
    template <typename T> T Next(std::deque<T>& script) {
        T value = script.front();
        if (script.size() > 1) script.pop_front();
        return value;
    }
    std::mutex FLock;
};

const TProbeTimes kQuick{300, 300, 20};

TNetworkQuestion Static(const std::wstring& gateway, TKnownNetwork known = {}) {
    return {L"A", L"{D1}", false, gateway, std::move(known)};
}
TNetworkQuestion Dhcp(TKnownNetwork known = {}) {
    return {L"B", L"{D1}", true, L"", std::move(known)};
}

TEST(NetworkCheck, StaticProfileIsItsNetworkWhenItsGatewayAnswersWithTheLearnedAddress) {
    TScriptedNetwork net;
    // Windows has not bound the address yet at the first tries after a connect.
    net.Gateway = {std::nullopt, std::nullopt, L"00:1a:2b:10:20:01"};
    TNetworkAnswer answer = AskNetwork(net, Static(L"10.20.30.1"), nullptr, kQuick);
    EXPECT_TRUE(answer.Answered);
    EXPECT_TRUE(answer.Same) << "nothing learned yet: the gateway's answer counts";
    EXPECT_EQ(answer.Heard.GatewayMac, L"00-1A-2B-10-20-01");
    EXPECT_EQ(net.AskedGateway, L"10.20.30.1");
    EXPECT_EQ(net.GatewayTries, 3);

    answer = AskNetwork(net, Static(L"10.20.30.1", {L"00-1A-2B-10-20-01", L""}), nullptr, kQuick);
    EXPECT_TRUE(answer.Same);
    // Two networks behind one gateway address: another router answers.
    answer = AskNetwork(net, Static(L"10.20.30.1", {L"00-1A-2B-99-99-99", L""}), nullptr, kQuick);
    EXPECT_TRUE(answer.Answered);
    EXPECT_FALSE(answer.Same);
}

TEST(NetworkCheck, NoAnswerNoGatewayOrNoAddressIsAnotherNetwork) {
    TScriptedNetwork net;
    const ULONGLONG start = GetTickCount64();
    TNetworkAnswer answer = AskNetwork(net, Static(L"10.20.30.1"), nullptr, kQuick);
    EXPECT_FALSE(answer.Answered);
    EXPECT_FALSE(answer.Same);
    EXPECT_GT(net.GatewayTries, 3) << "tried again for the time given";
    EXPECT_GE(GetTickCount64() - start, 280u);

    net.GatewayTries = 0;
    net.Gateway = {L"00-1A-2B-10-20-01"};
    for (const wchar_t* gateway : {L"", L"10.20.30.1 ", L"not an address"})
        EXPECT_FALSE(AskNetwork(net, Static(gateway), nullptr, kQuick).Answered) << gateway;
    EXPECT_EQ(net.GatewayTries, 0) << "nothing to ask";
    // A reply that is no hardware address is none.
    net.Gateway = {L"00-1A-2B"};
    EXPECT_FALSE(AskNetwork(net, Static(L"10.20.30.1"), nullptr, kQuick).Answered);
}

TEST(NetworkCheck, DhcpProfileIsItsNetworkWhenTheLeaseComesFromTheLearnedServer) {
    TScriptedNetwork net;
    const TDhcpLease apipa{L"169.254.7.9", L"", L""}, none{L"0.0.0.0", L"0.0.0.0", L""};
    const TDhcpLease lease{L"192.168.50.100", L"192.168.50.1", L"192.168.50.1"};
    net.Leases = {std::nullopt, apipa, none, lease};
    net.Gateway = {L"00-1A-2B-50-00-01"};
    TNetworkAnswer answer = AskNetwork(net, Dhcp(), nullptr, kQuick);
    EXPECT_TRUE(answer.Answered) << "APIPA and 0.0.0.0 are no lease: the real one came later";
    EXPECT_TRUE(answer.Same);
    EXPECT_EQ(answer.Heard.DhcpServer, L"192.168.50.1");
    EXPECT_EQ(answer.Heard.GatewayMac, L"00-1A-2B-50-00-01");

    EXPECT_TRUE(AskNetwork(net, Dhcp({L"", L"192.168.50.1"}), nullptr, kQuick).Same);
    EXPECT_FALSE(AskNetwork(net, Dhcp({L"", L"10.9.9.9"}), nullptr, kQuick).Same);
    // Another server, but the gateway learned answers: the same network.
    EXPECT_TRUE(AskNetwork(net, Dhcp({L"00-1A-2B-50-00-01", L"10.9.9.9"}), nullptr, kQuick).Same);
    // The same server address on another router: the hardware address tells them apart.
    EXPECT_FALSE(
        AskNetwork(net, Dhcp({L"00-1A-2B-77-77-77", L"192.168.50.1"}), nullptr, kQuick).Same);

    net.Leases = {apipa};
    answer = AskNetwork(net, Dhcp(), nullptr, kQuick);
    EXPECT_FALSE(answer.Answered) << "no server on this network";
}

TEST(NetworkCheck, CancelledQuestionEndsAtTheNextTryAndAnswersNothing) {
    TScriptedNetwork net;
    net.Leases = {std::nullopt};
    const ScopedHandle cancel(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread canceller([&] {
        Sleep(100);
        SetEvent(cancel.Get());
    });
    const ULONGLONG start = GetTickCount64();
    const TNetworkAnswer answer = AskNetwork(net, Dhcp(), cancel.Get(), {3000, 10000, 500});
    canceller.join();
    EXPECT_FALSE(answer.Answered);
    EXPECT_LT(GetTickCount64() - start, 1500u);
}

TEST(NetworkCheck, LearnedValuesAreReadBackCheckedAndWrittenOnlyWhenHeard) {
    TempFolder folder;
    OpenSettingsAt(folder.File(L"Config.ini"));
    WriteKnownNetwork(L"A", {L"00-1A-2B-10-20-01", L""});
    WriteKnownNetwork(L"A", {L"", L"10.20.30.2"});
    TKnownNetwork known = ReadKnownNetwork(L"A");
    EXPECT_EQ(known.GatewayMac, L"00-1A-2B-10-20-01") << "an empty value leaves what was learned";
    EXPECT_EQ(known.DhcpServer, L"10.20.30.2");

    // Edited by hand or damaged: not learned, so the gateway's answer counts again.
    for (const wchar_t* mac : {L"00-1A-2B-10-20", L"00-1A-2B-10-20-0G", L"00-1A-2B-10-20-01-02",
                               L"００-1A-2B-10-20-01", L"00 1A 2B 10 20 01"}) {
        ConfigIni().WriteString(L"B", L"LearnedGatewayMAC", mac);
        EXPECT_TRUE(ReadKnownNetwork(L"B").GatewayMac.empty()) << mac;
    }
    ConfigIni().WriteString(L"B", L"LearnedDHCPServer", L"192.168.050.1");
    EXPECT_TRUE(NetworkQuestion(L"B", L"{D1}").Known.DhcpServer.empty());
    OpenSettings();
}

} // namespace
