#pragma once
// What the engines read about the adapters through WMI: the service itself, an adapter's
// connection name and the configuration it shows.
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
};

// The configuration of the adapter whose NetConnectionID is the connection name; none when no
// adapter has that name.
std::optional<TAdapterState> ReadConnectionState(const std::wstring& connectionName);
// The NetConnectionID of the IP-enabled adapter whose Index has that decimal text; none when no
// such adapter is present.
std::optional<std::wstring> AdapterConnectionName(const std::wstring& index);
// The cause of a switch limited to an adapter that is not present.
std::wstring MissingAdapterCause(const std::wstring& index);
