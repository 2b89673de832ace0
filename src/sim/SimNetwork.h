#pragma once
// What the network behind a simulated cable gives an adapter: the lease of its DHCP server (or,
// where no server answers, an automatic private address, as Windows takes one), the DNS servers
// of automatic DNS, and the answer of its gateway to an ARP request.
#include <string>
#include <vector>

#include "sim/SimAdapter.h"

// The network of that name, or nullptr.
const TSimNetwork* SimFindNetwork(const std::vector<TSimNetwork>& networks,
                                  const std::wstring& name);

// A lease from the simulated DHCP server of the adapter's own network, 192.168.<Index>.1;
// the static gateways in KeptStaticGateways stay beside the lease's.
void SimLease(TSimAdapter& a);
// DHCP turned on for the adapter, at once. Without a Network, SimLease. With its cable in, the
// lease of its network's server, or 169.254.x.y/16 with no gateway of a lease where the network
// has none (an unknown network answers like one without a server); with the cable out, no
// address until the link comes back. Static gateways in KeptStaticGateways stay.
void SimObtainLease(TSimAdapter& a, const std::vector<TSimNetwork>& networks);
// The link of a DHCP adapter of a simulated network went, or came back and its lease is not
// there yet: it holds no address. Any other adapter keeps what it has.
void SimDropLease(TSimAdapter& a);
// An automatic private address (169.254.0.0/16), which no DHCP server gave.
bool SimIsAutomaticPrivate(const std::wstring& address);

// The DNS servers automatic DNS gives the adapter: those its lease names (the network's, or the
// lease's server for an adapter of no simulated network); none on a static adapter or without a
// lease.
std::vector<std::wstring> SimAutomaticDns(const TSimAdapter& a,
                                          const std::vector<TSimNetwork>& networks);

// The network whose gateway answers an ARP request for that address from the adapter, or
// nullptr: the adapter has IP, its cable is in that network, the address is the network's
// gateway, and one of the adapter's IPv4 addresses is in the gateway's subnet by its own mask.
const TSimNetwork* SimArpAnswerer(const TSimAdapter& a, const std::vector<TSimNetwork>& networks,
                                  const std::wstring& gateway);
