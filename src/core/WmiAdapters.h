#pragma once
// What the switch reads about the adapters through WMI: the service itself, the adapters a
// switch changes, the configuration one shows, and what kind of adapter it is.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <optional>
#include <string>
#include <vector>

// The services object of root\cimv2 on this computer, bound anew through the winmgmts moniker.
// Raises the COM error of a bind that fails.
Microsoft::WRL::ComPtr<IDispatch> BindCimv2();

// One adapter's configuration as Win32_NetworkAdapterConfiguration shows it.
struct TAdapterState {
    bool DHCPEnabled = false;
    std::vector<std::wstring> IPAddress, IPSubnet, DefaultIPGateway, DNSServerSearchOrder;
    std::wstring DHCPServer;
};
TAdapterState AdapterStateOf(IDispatch* configuration);

// An IP-enabled adapter a switch changes: its configuration object, Index and connection name.
struct TSwitchTarget {
    Microsoft::WRL::ComPtr<IDispatch> Configuration;
    std::wstring Index;
    std::wstring ConnectionName; // NetConnectionID, "以太网"
};
// The IP-enabled adapters, in WMI's order; only the one of that Index when adapter is not empty.
std::vector<TSwitchTarget> SwitchTargets(IDispatch* services, const std::wstring& adapter);
// The configuration the adapter of that Index shows now; none when it is gone.
std::optional<TAdapterState> ReadAdapterState(IDispatch* services, const std::wstring& index);

// What MSFT_NetAdapter (root\StandardCimv2) tells of an adapter and Win32_NetworkAdapter
// cannot: wired or Wi-Fi, physical or virtual.
struct TAdapterKind {
    std::wstring Index;        // Win32_NetworkAdapter.Index
    std::wstring InstanceName; // its Name, as NDIS names it in media events
    bool Wired = false;        // NdisPhysicalMedium 14, 802.3
    bool Physical = false;     // HardwareInterface and not Virtual
    bool Connected = false;    // MediaConnectState 1
    bool Known = false;        // root\StandardCimv2 told the above
};
// Every adapter Win32_NetworkAdapter lists in services (root\cimv2), with its kind where
// root\StandardCimv2 tells it (before Windows 8 it does not). Raises when WMI cannot be reached.
std::vector<TAdapterKind> AdapterKinds(IDispatch* services);
// The Index of the first connected physical wired adapter that is IP-enabled; empty when
// there is none.
std::wstring WiredAdapterIndex();
// Whether a media event from the adapter NDIS names instanceName is one automatic switching
// hears: with adapter (an Index) set, that adapter's alone; with none, a physical adapter's
// (any adapter's where the system does not tell physical from virtual). An event that names no
// adapter is heard. Raises when WMI cannot be reached.
bool HearsMediaEvent(const std::wstring& instanceName, const std::wstring& adapter);

// The cause of a switch limited to an adapter that is not present.
std::wstring MissingAdapterCause(const std::wstring& index);
// The cause of a switch that found no IP-enabled adapter to change.
extern const wchar_t NoAdapterCause[];
