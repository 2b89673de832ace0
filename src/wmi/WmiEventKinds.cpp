#include "wmi/WmiEventKinds.h"

#include "wmi/WmiAutomation.h"

namespace {
const int kSecurityPrivilege = 7;
const wchar_t kNetworkConnectQuery[] = L"select * from MSNdis_StatusMediaConnect";
const wchar_t kNetworkDisconnectQuery[] = L"select * from MSNdis_StatusMediaDisconnect";
const wchar_t kPrinterQuery[] = L"select * from __InstanceOperationEvent within %d where "
                                L"TargetInstance isa \"Win32_Printer\"";
} // namespace

const TWmiEventKindInfo& EventKindInfo(TWmiEventKind kind) {
    static const wchar_t kCimv2[] = L"root\\cimv2";
    static const TWmiEventKindInfo kinds[] = {
        {kCimv2,
         L"select * from __instanceOperationEvent within %d where TargetInstance isa "
         L"\"win32_UserAccount\"",
         L"Win32_UserAccount",
         {}},
        {kCimv2,
         L"select * from __instanceOperationEvent within %d where TargetInstance isa "
         L"\"Win32_Group\"",
         L"Win32_Group",
         {}},
        {kCimv2,
         L"select * from __instanceOperationEvent within %d where TargetInstance isa "
         L"\"Win32_GroupUser\"",
         L"Win32_GroupUser",
         {}},
        {kCimv2,
         L"select * from __InstanceCreationEvent where TargetInstance isa \"Win32_NTLogEvent\" "
         L"and TargetInstance.Logfile = \"Application\"",
         L"Win32_NTLogEvent",
         {}},
        {kCimv2,
         L"select * from __InstanceCreationEvent where TargetInstance isa \"Win32_NTLogEvent\" "
         L"and TargetInstance.Logfile = \"System\"",
         L"Win32_NTLogEvent",
         {}},
        {kCimv2,
         L"select * from __InstanceCreationEvent where TargetInstance isa \"Win32_NTLogEvent\" "
         L"and TargetInstance.Logfile = \"Security\"",
         L"Win32_NTLogEvent",
         {kSecurityPrivilege}},
        {kCimv2,
         L"select * from __InstanceCreationEvent where TargetInstance isa \"Win32_NTLogEvent\"",
         L"Win32_NTLogEvent",
         {kSecurityPrivilege}},
        {L"root\\WMI", kNetworkConnectQuery, L"", {}},
        {L"root\\WMI", kNetworkDisconnectQuery, L"", {}},
        {kCimv2,
         L"select * from __InstanceCreationEvent within %d where TargetInstance isa "
         L"\"Win32_LoggedOnUser\"",
         L"Win32_LoggedOnUser",
         {}},
        {kCimv2,
         L"select * from __InstanceDeletionEvent within %d where TargetInstance isa "
         L"\"Win32_LoggedOnUser\"",
         L"Win32_LoggedOnUser",
         {}},
        {kCimv2, kPrinterQuery, L"Win32_Printer", {}},
        {kCimv2,
         L"select * from __InstanceOperationEvent within %d where TargetInstance ISA "
         L"\"Win32_PrintJob\"",
         L"Win32_PrintJob",
         {}},
        {kCimv2,
         L"select * from Win32_DeviceChangeEvent where EventType = 4",
         L"Win32_DeviceChangeEvent",
         {}},
        {kCimv2,
         L"select * from __instanceOperationEvent within %d where TargetInstance isa "
         L"\"Win32_Service\"",
         L"Win32_Service",
         {}},
        {kCimv2,
         L"SELECT * FROM __InstanceModificationEvent WITHIN %d WHERE TargetInstance ISA "
         L"\"Win32_CDROMDrive\" and TargetInstance.MediaLoaded=TRUE and "
         L"PreviousInstance.MediaLoaded = FALSE",
         L"Win32_CDROMDrive",
         {}},
        {kCimv2,
         L"SELECT * FROM __InstanceModificationEvent WITHIN %d WHERE TargetInstance ISA "
         L"\"Win32_CDROMDrive\" and TargetInstance.MediaLoaded=FALSE and "
         L"PreviousInstance.MediaLoaded = TRUE",
         L"Win32_CDROMDrive",
         {}},
    };
    return kinds[static_cast<size_t>(kind)];
}

TWmiEventAction EventActionOf(IDispatch* event) {
    const std::wstring cls = WmiText(WmiGet(WmiObject(WmiGet(event, L"Path_")).Get(), L"Class"));
    if (cls == L"__InstanceCreationEvent") return weaCreated;
    if (cls == L"__InstanceDeletionEvent") return weaDeleted;
    if (cls == L"__InstanceModificationEvent") return weaModified;
    return weaUnknown;
}
