#pragma once
// What the switch reads about the adapters through WMI: the service itself, the adapters a
// switch changes, the configuration one shows, and what kind of adapter it is.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <optional>
#include <string>
#include <vector>

#include "core/Settings.h"

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

// An IP-enabled adapter: its configuration object and what WMI tells of it.
struct TSwitchTarget {
    Microsoft::WRL::ComPtr<IDispatch> Configuration;
    std::wstring Index;
    std::wstring ConnectionName; // NetConnectionID, "以太网"
    std::wstring Guid;           // SettingID, the interface's GUID: it stays after a driver update
    std::wstring Description;    // "Intel(R) Ethernet Connection I219-V"
    bool Disconnected = false;   // NetConnectionStatus 7: its cable is out
    // A physical wired adapter: MSFT_NetAdapter's medium 14, a hardware interface and not
    // virtual. Where that class is missing (Windows 7), Win32_NetworkAdapter's PhysicalAdapter
    // with AdapterTypeID 0, which a Wi-Fi adapter reports too: the best Windows 7 can tell.
    bool PhysicalWired = false;

    // How Config.ini remembers it.
    TAdapterChoice Choice() const { return {Index, Guid, Description}; }
};
// Every IP-enabled adapter, in WMI's order. Raises when WMI cannot be reached.
std::vector<TSwitchTarget> IpEnabledAdapters(IDispatch* services);
// What a switch changes: the adapter named, found by its GUID first and by its Index second;
// with none named, every physical wired adapter (never Wi-Fi, virtual, VPN or loopback ones).
std::vector<TSwitchTarget> SwitchTargets(IDispatch* services, const TAdapterChoice& adapter);
// The physical wired adapters a switch without a named adapter changes, connected ones first:
// what the first run offers.
std::vector<TSwitchTarget> PhysicalWiredAdapters(IDispatch* services);
// The configuration the adapter of that Index shows now; none when it is gone.
std::optional<TAdapterState> ReadAdapterState(IDispatch* services, const std::wstring& index);

// What MSFT_NetAdapter (root\StandardCimv2) tells of an adapter and Win32_NetworkAdapter
// cannot: wired or Wi-Fi, physical or virtual.
struct TAdapterKind {
    std::wstring Index;        // Win32_NetworkAdapter.Index
    std::wstring InstanceName; // its Name, as NDIS names it in media events
    std::wstring Guid;         // its GUID, the interface's
    bool Wired = false;        // NdisPhysicalMedium 14, 802.3
    bool Physical = false;     // HardwareInterface and not Virtual
    bool Connected = false;    // MediaConnectState 1
    bool Known = false;        // root\StandardCimv2 told the above
};
// Every adapter Win32_NetworkAdapter lists in services (root\cimv2), with its kind where
// root\StandardCimv2 tells it, else as Windows 7 tells it (see TSwitchTarget::PhysicalWired).
// Raises when WMI cannot be reached.
std::vector<TAdapterKind> AdapterKinds(IDispatch* services);
// The Index of the physical wired adapter the first run offers, connected or not (a connected
// one first); empty when there is none.
std::wstring WiredAdapterIndex();
// Whether a media event from the adapter NDIS names instanceName is one automatic switching
// hears: with an adapter named, that adapter's alone (by its GUID, else its Index); with none,
// a physical wired adapter's. An event that names no adapter is heard. Raises when WMI cannot
// be reached.
bool HearsMediaEvent(const std::wstring& instanceName, const TAdapterChoice& adapter);
// The interface GUID of the adapter the media event names (NDIS's name); empty when WMI lists
// none of that name. Raises when WMI cannot be reached.
std::wstring MediaEventAdapterGuid(const std::wstring& instanceName);

// The cause of a switch limited to an adapter that is not present: it names the adapter as the
// user knew it and says where to choose it again.
std::wstring MissingAdapterCause(const TAdapterChoice& adapter);
// The cause of a switch that found no physical wired adapter to change.
extern const wchar_t NoAdapterCause[];
