#pragma once
// Asking the network where the cable is: the hardware address of a gateway, by an ARP request
// on one adapter, and the adapter's DHCP lease. Simulation mode and the tests put a stand-in in
// place of the machine's network, so only a program on real adapters sends anything.
#include <optional>
#include <string>

struct TDhcpLease {
    std::wstring Address, Server, Gateway;
};

class INetworkProbe {
public:
    virtual ~INetworkProbe() = default;
    // One ARP try for gateway on the adapter of that interface GUID ("{...}"): the hardware
    // address that answered ("00-1A-2B-3C-4D-5E"), or none. Blocks as the request does, so it
    // is called on a worker thread; it must be safe there.
    virtual std::optional<std::wstring> GatewayHardwareAddress(const std::wstring& adapterGuid,
                                                               const std::wstring& gateway) = 0;
    // The adapter's DHCP lease as it is now, or none (a static adapter, or none yet). The same
    // threading as above.
    virtual std::optional<TDhcpLease> Lease(const std::wstring& adapterGuid) = 0;
};

// The probe in use. Until the program sets one it asks nothing and hears nothing, so no test
// and no simulation can reach the machine's network by accident.
INetworkProbe& NetworkProbe();
// Sets the probe (nullptr: the one that hears nothing) and answers the one it replaces. The
// probe must outlive its setting and every question asked of it.
INetworkProbe* SetNetworkProbe(INetworkProbe* probe);
// The machine's network through iphlpapi, loaded from System32 when first asked.
INetworkProbe& IpHelperProbe();
