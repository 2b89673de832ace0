#include "sim/SimNetwork.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "sim/SimAdapterMethods.h"

namespace {
std::wstring CimNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    TIME_ZONE_INFORMATION zone;
    const DWORD kind = GetTimeZoneInformation(&zone);
    long offset = -zone.Bias - (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0);
    wchar_t text[32];
    swprintf(text, 32, L"%04u%02u%02u%02u%02u%02u.%06u%c%03ld", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute, t.wSecond, t.wMilliseconds * 1000u, offset < 0 ? L'-' : L'+',
             offset < 0 ? -offset : offset);
    return text;
}

// The kept static gateways, then the lease's own (none for an address no server gave).
void SetLeaseGateways(TSimAdapter& a, const std::wstring& leased) {
    a.DefaultIPGateway = a.KeptStaticGateways;
    if (!leased.empty() && std::find(a.DefaultIPGateway.begin(), a.DefaultIPGateway.end(),
                                     leased) == a.DefaultIPGateway.end())
        a.DefaultIPGateway.push_back(leased);
    a.GatewayCostMetric.assign(a.DefaultIPGateway.size(), 0);
}

// Windows picks 169.254.x.y at random and keeps it for the interface; the hardware address
// makes it the same on every run, within 169.254.1.0 to 169.254.254.255 as RFC 3927 asks.
std::wstring AutomaticPrivateAddress(const TSimAdapter& a) {
    unsigned long hash = 2166136261ul;
    for (const wchar_t c : a.MACAddress + a.Guid)
        hash = (hash ^ static_cast<unsigned long>(c)) * 16777619ul & 0xFFFFFFFFul;
    return L"169.254." + std::to_wstring(1 + hash % 254) + L"." + std::to_wstring(hash / 254 % 256);
}
} // namespace

const TSimNetwork* SimFindNetwork(const std::vector<TSimNetwork>& networks,
                                  const std::wstring& name) {
    for (const TSimNetwork& n : networks)
        if (n.Name == name) return &n;
    return nullptr;
}

void SimLease(TSimAdapter& a) {
    const std::wstring net = L"192.168." + std::to_wstring(a.Index % 256) + L".";
    a.DHCPEnabled = true;
    a.IPAddress = {net + L"100"};
    a.IPSubnet = {L"255.255.255.0"};
    SetLeaseGateways(a, net + L"1");
    a.DHCPServer = net + L"1";
    a.DHCPLeaseObtained = CimNow();
}

void SimObtainLease(TSimAdapter& a, const std::vector<TSimNetwork>& networks) {
    if (a.Network.empty()) return SimLease(a);
    a.DHCPEnabled = true;
    SimDropLease(a);
    if (!a.MediaConnected) return;
    const TSimNetwork* network = SimFindNetwork(networks, a.Network);
    if (!network || network->DhcpServer.empty()) {
        a.IPAddress = {AutomaticPrivateAddress(a)};
        a.IPSubnet = {L"255.255.0.0"};
        return;
    }
    a.IPAddress = {network->LeaseAddress};
    a.IPSubnet = {network->Subnet};
    SetLeaseGateways(a, network->Gateway);
    a.DHCPServer = network->DhcpServer;
    a.DHCPLeaseObtained = CimNow();
}

void SimDropLease(TSimAdapter& a) {
    if (!a.DHCPEnabled || a.Network.empty()) return;
    a.IPAddress.clear();
    a.IPSubnet.clear();
    SetLeaseGateways(a, {});
    a.DHCPServer.clear();
    a.DHCPLeaseObtained.clear();
}

bool SimIsAutomaticPrivate(const std::wstring& address) {
    unsigned long value = 0;
    return SimIsAddress(address, &value) && (value >> 16) == 0xA9FE;
}

std::vector<std::wstring> SimAutomaticDns(const TSimAdapter& a,
                                          const std::vector<TSimNetwork>& networks) {
    if (!a.DHCPEnabled || a.DHCPServer.empty()) return {};
    if (const TSimNetwork* network = SimFindNetwork(networks, a.Network);
        network && !a.Network.empty() && network->DhcpServer == a.DHCPServer)
        return network->Dns;
    return {a.DHCPServer};
}

const TSimNetwork* SimArpAnswerer(const TSimAdapter& a, const std::vector<TSimNetwork>& networks,
                                  const std::wstring& gateway) {
    const TSimNetwork* network = SimFindNetwork(networks, a.Network);
    unsigned long target = 0;
    if (!a.IPEnabled || !a.MediaConnected || a.Network.empty() || !network ||
        network->Gateway != gateway || network->GatewayMac.empty() ||
        !SimIsAddress(gateway, &target))
        return nullptr;
    // ARP stays on the link: the request goes out only for an address on the interface's own
    // subnet (ResolveIpNetEntry2 answers ERROR_BAD_NET_NAME for any other).
    for (size_t i = 0; i < a.IPAddress.size() && i < a.IPSubnet.size(); ++i) {
        unsigned long address = 0, mask = 0;
        if (SimIsAddress(a.IPAddress[i], &address) && SimIsMask(a.IPSubnet[i]) &&
            SimIsAddress(a.IPSubnet[i], &mask) && address != target &&
            (address & mask) == (target & mask))
            return network;
    }
    return nullptr;
}
