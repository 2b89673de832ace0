#pragma once
// A simulated network adapter, and a call of one of its methods as it arrived.
#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

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
    unsigned long long Speed = 1000000000;
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
    long Result = 0;                // what the method answered
    bool Raised = false;            // the call raised an error instead of answering
    HRESULT Error = S_OK;           // the error raised
};
