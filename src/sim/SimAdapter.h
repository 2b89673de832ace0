#pragma once
// A simulated network adapter, the networks its cable can be in, and a call of one of its methods
// as it arrived.
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>
#include <vector>

// A network a simulated cable can be plugged into.
struct TSimNetwork {
    std::wstring Name;                // as the user calls it: "内网"
    std::wstring Gateway, GatewayMac; // "10.20.30.1", "00-1A-2B-10-20-01" (as ARP answers it:
                                      // upper-case hex, dashes)
    std::wstring Subnet = L"255.255.255.0";
    std::wstring DhcpServer;   // empty: no DHCP server on this network
    std::wstring LeaseAddress; // what its server leases (with Subnet, Gateway, Dns)
    std::vector<std::wstring> Dns;
    DWORD ArpDelayMs = 100;    // an answered ARP try takes this long
    DWORD LeaseDelayMs = 1000; // a lease comes this long after the link
};

struct TSimAdapter { // one adapter: its Win32_NetworkAdapterConfiguration and
    int Index = 0;   // its Win32_NetworkAdapter share Index
    bool IPEnabled = true;
    std::wstring Description, MACAddress, AdapterType = L"Ethernet 802.3", NetConnectionID;
    bool DHCPEnabled = false;
    std::vector<std::wstring> IPAddress, IPSubnet, DefaultIPGateway, DNSServerSearchOrder;
    // What a DHCP lease leaves behind (empty while the adapter is static).
    std::wstring DHCPServer;
    std::wstring DHCPLeaseObtained; // CIM date-time text, "yyyymmddHHMMSS.mmmmmm+UUU"
    std::vector<int> GatewayCostMetric;
    // The static gateways EnableDHCP left in DefaultIPGateway beside the lease's own.
    std::vector<std::wstring> KeptStaticGateways;
    unsigned long long Speed = 1000000000;
    // What MSFT_NetAdapter tells and Win32_NetworkAdapter cannot: the medium (14 wired 802.3,
    // 9 native 802.11), whether it is a physical device or a virtual one, and its link.
    int NdisPhysicalMedium = 14;
    bool HardwareInterface = true;
    bool Virtual = false;
    bool MediaConnected = true;
    int InterfaceIndex = 0; // ties the classes of root\cimv2 and root\StandardCimv2
    // The interface's GUID (SettingID, GUID, InterfaceGuid): it stays when a driver update
    // gives the adapter a new Index.
    std::wstring Guid;
    // What an IPv6 router on the adapter's network gives it: a link-local address and the
    // router, listed after the IPv4 entries as Windows lists them. The network's, not the
    // profile's: no method changes them.
    std::wstring IPv6Address, IPv6Router;
    // The simulated network its cable is in (or was in, while MediaConnected is false). Empty:
    // none of them; the adapter then leases from a server of its own, 192.168.<Index>.1.
    std::wstring Network;
};

struct TSimArgument {               // one argument of a recorded method call, as it arrived
    VARTYPE Type = VT_EMPTY;        // vt as passed (e.g. VT_BYREF|VT_VARIANT)
    bool ByRef = false;             // a reference to a variant (or to a value)
    bool NotSupplied = false;       // VT_ERROR holding DISP_E_PARAMNOTFOUND
    bool IsArray = false;           // the (dereferenced) value is a SAFEARRAY
    VARTYPE ElementType = VT_EMPTY; // the array's element type (VT_BSTR, VT_VARIANT...)
    int Dimensions = 0;
    LONG LowerBound = 0;
    std::vector<std::wstring> Values; // the elements as text, or the one scalar value
};

struct TSimCall {
    int AdapterIndex = 0;           // Index of the object the method was called on
    std::wstring Method;            // "EnableStatic", ...
    std::vector<TSimArgument> Args; // natural order
    uint32_t Result = 0;            // what the method answered (a uint32, as WMI declares it)
    bool Raised = false;            // the call raised an error instead of answering
    HRESULT Error = S_OK;           // the error raised
};
