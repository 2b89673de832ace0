#pragma once
// A stand-in for the WMI scripting objects of this process: the winmgmts moniker, the locator,
// services, object sets, objects with properties, methods and metadata, over a small repository
// of network adapters. Production code reaches it unchanged, late-bound through IDispatch.
// Its class objects are registered in the installing apartment and in every apartment a
// ScopedComInitializer opens afterwards, as an in-process server is reachable from each; an
// object lives in the apartment that made it.
//
// How the simulated objects answer, where WMI leaves a choice:
// - Every object is an IDispatch whose names ignore case; the ISWbem* interface identifiers
//   (locator, services, object, object set, named value set, event source) are answered with
//   the same IDispatch, since callers reach WMI late-bound. Errors are DISP_E_EXCEPTION with
//   the WMI code in EXCEPINFO.scode.
// - ExecQuery with wbemFlagReturnImmediately (16, the default) reports a rejected query when
//   its objects are first asked for (Count, Item, the enumerator's Next); without it at once.
//   Objects keep the values they were read with; wbemQueryFlagPrototype (2) gives one object
//   without values.
// - As Windows documents: EnableStatic on a static adapter applies and answers 81; EnableDHCP
//   keeps the static gateways beside the lease's; SetGateways works only on a static adapter
//   (97 in DHCP mode), and the adapter's own address as the gateway clears them. Answers are
//   uint32, handed to automation as VT_I4 as WMI does.
// - EnableDHCP leases 192.168.<Index>.100/24 from 192.168.<Index>.1; EnableStatic keeps the
//   gateway; SetDNSServerSearchOrder without a list (not supplied, left out or empty) returns
//   to automatic DNS: the lease's server, or none on a static adapter. Like Windows they answer
//   66 for a bad mask, 68 for mismatched lists, 69 for more than five gateways, 70 for a bad
//   address, 71 for a bad gateway, 84 for an adapter without IP, and raise
//   WBEM_E_INVALID_PARAMETER for an argument that is not an array where one belongs.
// - Only this computer is reachable, without user credentials, in root\cimv2 and root\WMI.
// - An adapter whose cable is in one of the simulated networks (TSimAdapter::Network) leases from
//   that network's DHCP server, or takes 169.254.x.y/16 where it has none, as Windows does; a
//   lease after a link comes LeaseDelayMs later. Its gateway answers ARP only on its own link
//   and subnet. An adapter of no simulated network keeps its own server, 192.168.<Index>.1.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/SimAdapter.h"

class ISimProbe;
class TSimOwnerWindow;
class TSimRepository;

class TSimProvider {
public:
    // Registers the class objects for this process and starts with the default machine.
    // Installing again answers the provider already installed.
    static TSimProvider& Install();
    static void Uninstall();          // revokes the registrations
    static TSimProvider* Installed(); // or nullptr

    std::vector<TSimAdapter>& Adapters(); // may be edited freely between calls
    // The laptop of SimDefaultAdapters: wired, USB Ethernet, Wi-Fi, WSL switch, idle VPN. None
    // of them is in a simulated network, and the provider installs with no network.
    void SetDefaultAdapters();

    std::vector<TSimNetwork>& Networks(); // edited on the owner thread, like Adapters()
    // The demo's networks, which match scripts/demo-config.ini: 内网, static, gateway 10.20.30.1
    // (255.255.255.0) with its hardware address, no DHCP server; 外网, a DHCP server
    // 192.168.50.1 leasing 192.168.50.100/24 with gateway 192.168.50.1 (its own hardware
    // address) and DNS 192.168.50.1. The wired adapter 1's cable is in 内网.
    void SetDemoNetworks();
    // Moves the cable of the adapter NDIS names so (its Description), on the owner thread: out
    // (plug false), or in: into network when given, else back into the network it was in. Sets
    // MediaConnected and Network, raises the media event and reports the adapter through
    // OnAdapterChanged. A DHCP adapter of a network loses its lease with the link and, plugged
    // in, gets its network's lease (or 169.254.x.y/16 where the network has no DHCP server)
    // LeaseDelayMs later, reported through OnAdapterChanged too. False for an unknown adapter
    // or network, and nothing changes then.
    bool MoveCable(const std::wstring& instanceName, bool plug, const std::wstring& network = {});

    // One ARP try, as ResolveIpNetEntry2 makes it, from any thread (the adapters are read on
    // the owner thread, which must be dispatching messages, or on it directly): takes the
    // network's ArpDelayMs and answers the gateway's hardware address when the adapter of that
    // GUID (TSimAdapter::Guid) has its cable in the network whose gateway that is and an IPv4
    // address in the gateway's subnet by its own mask; otherwise takes the ARP timeout and
    // answers nothing.
    std::optional<std::wstring> ResolveGateway(const std::wstring& adapterGuid,
                                               const std::wstring& gateway);
    // How long a try without an answer takes: 1000 ms, Windows' own timeout, unless a test
    // that moves many cables wants less.
    void SetArpTimeout(DWORD milliseconds);
    struct TSimLease {
        std::wstring Address, Server, Gateway;
    };
    // The adapter's current DHCP lease, from any thread as ResolveGateway, without delay: none
    // while the adapter is static, disconnected, waiting for its lease, or on 169.254.x.y.
    std::optional<TSimLease> CurrentLease(const std::wstring& adapterGuid);

    // The simulated sleep, on the owner thread: Suspend takes every connected adapter's link
    // down (media disconnect events), Resume brings them back into the networks they were in
    // (connect events, leases again after their delay). Either, said twice, does nothing the
    // second time.
    void Suspend();
    void Resume();
    // The time spent asleep so far, between each Suspend and its Resume (the real clock does not
    // stop in a simulated sleep). From any thread.
    ULONGLONG AsleepMs() const;

    DWORD Delay() const;
    // Each adapter method waits this long, dispatching messages as a cross-process COM call does.
    void SetDelay(DWORD milliseconds);
    // Every adapter method answers this code, as a test's SetResult does (none: they act).
    void SetAnswer(std::optional<uint32_t> code);

    // A link that came up (connected) or went down, as root\WMI reports it for every adapter,
    // wired, Wi-Fi or virtual: each event source of "select * from MSNdis_StatusMediaConnect"
    // (or ...Disconnect) opened before receives one event whose InstanceName is the adapter's
    // name as NDIS gives it (its description). Safe from any thread; the adapters' own state
    // is left to the thread that owns them.
    // Event sources and their events belong to the apartment that opened or took them.
    void RaiseMediaEvent(bool connected, const std::wstring& instanceName);

    // After each adapter method call, on the caller's thread. It must not throw: the adapter
    // has already changed and the caller is owed the answer.
    std::function<void(const TSimCall&)> OnCall;
    // After each adapter method call and each netsh command applied through the stand-in, with
    // the adapter as it is now. The same contract as OnCall.
    std::function<void(const TSimAdapter&)> OnAdapterChanged;
    // Each netsh command line the stand-in hands over, before it is applied. The same contract
    // as OnCall.
    std::function<void(const std::wstring&)> OnNetshCommand;

    // One line for simulated-network.log, e.g.
    // "adapter 1 EnableStatic({10.0.0.5}, {255.255.255.0}) = 0"
    static std::wstring Describe(const TSimCall& call);
    // The adapter's settings as the log shows them after a change, e.g.
    // "  now: adapter 1 DHCP off, address {10.0.0.5}/{255.255.255.0}, gateways {}, DNS {}"
    static std::wstring DescribeState(const TSimAdapter& adapter);

    // The seam of the tests (nullptr: none). The probe must outlive its setting.
    void SetProbe(ISimProbe* probe);

    ~TSimProvider();
    TSimProvider(const TSimProvider&) = delete;
    TSimProvider& operator=(const TSimProvider&) = delete;

private:
    TSimProvider();
    // The state the simulated objects share; objects still held after Uninstall keep it alive.
    std::shared_ptr<TSimRepository> FRepository;
    std::vector<DWORD> FCookies;
    std::unique_ptr<TSimOwnerWindow> FOwnerWindow;

    // The lease that comes to the adapters of that name a while after their link, if they
    // still wait for it in that network.
    void LeaseArrived(const std::wstring& instanceName, const std::wstring& network);
};
