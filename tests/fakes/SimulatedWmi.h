#pragma once
// A stand-in for the WMI scripting objects of this process: the winmgmts moniker, the locator,
// services, object sets, objects with properties, methods and metadata, over a small repository
// of network adapters. Production code reaches it unchanged, late-bound through IDispatch.
// Every object lives on the thread that installed the provider (its apartment).
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
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

struct TSimNamedValue { // one entry of a named-value context, as it arrived
    std::wstring Name;
    VARTYPE Type = VT_EMPTY;
    std::wstring Value; // as text
    long Flags = 0;     // the flags given to Add
};

struct TSimQuery { // one ExecQuery
    std::wstring Text;
    std::wstring Language; // "WQL" when not given
    long Flags = 16;       // wbemFlagReturnImmediately when not given
    bool FlagsSupplied = false;
    std::vector<TSimNamedValue> Context;
};

struct TSimConnect { // one SWbemLocator.ConnectServer
    std::wstring Server, NameSpace, User, Password, Locale, Authority;
    long Flags = 0;
    bool HasContext = false;
    std::vector<TSimNamedValue> Context;
};

struct TSimGet { // one services Get
    std::wstring Path;
    long Flags = 0;
    bool HasContext = false;
};

struct TSimPrivilege { // a privilege added to a Security_ privilege set
    std::wstring Name; // "SeShutdownPrivilege" (or the ordinal's name)
    int Ordinal = -1;  // WbemPrivilegeEnum value when added by number
    bool Enabled = true;
};

struct TSimPropertyDef { // a property of a class a test adds
    std::wstring Name;
    long CimType = 8; // CIM_STRING; CIM_OBJECT (13) for an embedded object, ...
    bool IsArray = false;
    bool Key = false;      // the "key" qualifier
    bool ReadOnly = false; // the "ReadOnly" qualifier
};

// How the simulated objects answer, where WMI leaves a choice:
// - Every object is an IDispatch whose names ignore case; the ISWbem* interface identifiers
//   (locator, services, object, object set, named value set, event source) are answered with
//   the same IDispatch, since callers reach WMI late-bound. Errors are DISP_E_EXCEPTION with
//   the WMI code in EXCEPINFO.scode.
// - ExecQuery with wbemFlagReturnImmediately (16, the default) reports a rejected query when
//   its objects are first asked for (Count, Item, the enumerator's Next); without it at once.
//   Objects keep the values they were read with; wbemQueryFlagPrototype (2) gives one object
//   without values.
// - EnableDHCP leases 192.168.<Index>.100/24 from 192.168.<Index>.1; EnableStatic keeps the
//   gateway; SetDNSServerSearchOrder without a list (not supplied, left out or empty) returns
//   to automatic DNS: the lease's server, or none on a static adapter. Like Windows they answer
//   66 for a bad mask, 68 for mismatched lists, 69 for more than five gateways, 70 for a bad
//   address, 71 for a bad gateway, 84 for an adapter without IP, and raise
//   WBEM_E_INVALID_PARAMETER for an argument that is not an array where one belongs.
// - A code set by SetResult is answered instead; the adapter changes only when that code is 0
//   or 1. A raise set by SetRaise leaves the adapter as it was.
// - Only this computer is reachable, without user credentials, in root\cimv2 and root\WMI.
class TSimulatedWmi {
public:
    // Registers the class objects for this process (CoRegisterClassObject, REGCLS_MULTIPLEUSE):
    // the class behind the winmgmts moniker, SWbemLocator and SWbemNamedValueSet; starts with
    // the two default adapters. Installing again answers the provider already installed.
    static TSimulatedWmi& Install();
    static void Uninstall();           // revokes the registrations
    static TSimulatedWmi* Installed(); // or nullptr

    std::vector<TSimAdapter>& Adapters(); // tests edit these freely between calls
    // Two Ethernet adapters: 1 "Intel(R) PRO/1000 MT Network Connection", static
    // 192.168.1.20/24, gateway 192.168.1.1, DNS 192.168.1.1 and .2, connection "本地连接";
    // 8 "Realtek RTL8139 Family PCI Fast Ethernet NIC", DHCP 192.168.8.100/24, gateway and DNS
    // 192.168.8.1, connection "本地连接 2".
    void SetDefaultAdapters();

    // What the adapter methods do instead of succeeding. -1 stands for every adapter; a setting
    // for one adapter wins over the one for every adapter.
    void SetResult(const std::wstring& method, long code, int adapterIndex = -1);
    void SetRaise(const std::wstring& method, HRESULT error, int adapterIndex = -1);
    void SetDelay(DWORD milliseconds); // each adapter method waits this long, dispatching
                                       // messages as a cross-process COM call does
    // The WMI service cannot be reached: winmgmts binds and ConnectServer fail with this error
    // (S_OK: reachable again).
    void SetServiceError(HRESULT error);
    void ResetBehaviour(); // no results, raises, delay or service error set

    // Classes of root\cimv2 beside the adapter classes, for value forms those do not have (an
    // embedded object, an empty array, ...). Adding a class of the same name again replaces it;
    // the adapter classes cannot be replaced. Instance values are copied, in property order.
    void AddClass(const std::wstring& name, const std::vector<TSimPropertyDef>& properties);
    void AddInstance(const std::wstring& className, const std::vector<VARIANT>& values);
    void RemoveAddedClasses();

    const std::vector<TSimCall>& Calls() const;
    void ClearCalls();                                     // also clears every other record below
    const std::vector<std::wstring>& Queries() const;      // every ExecQuery text, in order
    const std::vector<TSimQuery>& QueryDetails() const;    // the same with language, flags, context
    int MonikerBinds() const;                              // times a winmgmts name was bound
    const std::vector<std::wstring>& MonikerNames() const; // the display names bound
    const std::vector<TSimConnect>& Connects() const;      // every ConnectServer, in order
    const std::vector<TSimGet>& Gets() const;              // every services Get, in order
    // The impersonation level last written to any Security_ (0 while none was written).
    int ImpersonationLevel() const;
    const std::vector<TSimPrivilege>& Privileges() const; // added to any Security_, in order

    // Every ExecNotificationQuery, in order.
    const std::vector<TSimQuery>& NotificationQueries() const;
    // A network cable plugged in (connected) or pulled out, as root\WMI reports it: each event
    // source of "select * from MSNdis_StatusMediaConnect" (or ...Disconnect) opened before
    // receives one event whose InstanceName is the adapter's description. Safe from any thread;
    // event sources and their events may be used from any thread.
    void RaiseMediaEvent(bool connected, const std::wstring& instanceName);

    std::function<void(const TSimCall&)> OnCall; // after each adapter method call

    // One line for simulated-network.log, e.g.
    // "adapter 1 EnableStatic({10.0.0.5}, {255.255.255.0}) = 0"
    static std::wstring Describe(const TSimCall& call);

    ~TSimulatedWmi();
    TSimulatedWmi(const TSimulatedWmi&) = delete;
    TSimulatedWmi& operator=(const TSimulatedWmi&) = delete;

private:
    TSimulatedWmi();
    // The state the simulated objects share; objects still held after Uninstall keep it alive.
    std::shared_ptr<class TSimRepository> FRepository;
    std::vector<DWORD> FCookies;
};
