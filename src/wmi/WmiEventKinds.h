#pragma once
// The kinds of event the system events watcher knows: the handler type of each, and what each
// registers (namespace, query, the class that must exist, privileges).
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Component.h"

enum TWmiEventAction { weaUnknown, weaCreated, weaDeleted, weaModified };

// The handler types of the event kinds; instance is the event's TargetInstance.
using TWin32AccountEvent =
    std::function<void(TComponent* sender, const VARIANT& instance, const std::wstring& name,
                       const std::wstring& domain, TWmiEventAction action)>;
using TWin32GroupMembershipEvent =
    std::function<void(TComponent* sender, const VARIANT& instance, const std::wstring& groupName,
                       const std::wstring& groupDomain, const std::wstring& userName,
                       const std::wstring& userDomain, TWmiEventAction action)>;
using TWin32EventLogEvent =
    std::function<void(TComponent* sender, const VARIANT& instance, const std::wstring& eventLog,
                       const std::wstring& message)>;
using TWin32UserSessionEvent =
    std::function<void(TComponent* sender, const std::wstring& logonId, const std::wstring& name,
                       const std::wstring& domain)>;
using TWin32PrinterEvent = std::function<void(TComponent* sender, const VARIANT& instance,
                                              const std::wstring& name, TWmiEventAction action)>;
using TWin32PrintJobEvent =
    std::function<void(TComponent* sender, const VARIANT& instance, const std::wstring& document,
                       int jobId, const std::wstring& jobStatus, TWmiEventAction action)>;
using TWin32ServiceEvent =
    std::function<void(TComponent* sender, const VARIANT& instance, const std::wstring& serviceName,
                       const std::wstring& state, TWmiEventAction action)>;
// A link that came up or went down; adapter is the event's InstanceName, the adapter as NDIS
// names it (its description), or empty when the event names none.
using TNetworkEvent = std::function<void(TComponent* sender, const std::wstring& adapter)>;
using TWin32CDROMEvent =
    std::function<void(TComponent* sender, const VARIANT& instance, const std::wstring& drive)>;

// The kinds of event the watcher knows, with what each registers.
enum class TWmiEventKind {
    UserAccount,
    GroupAccount,
    GroupMembership,
    EventLogApplication,
    EventLogSystem,
    EventLogSecurity,
    EventLogAny,
    NetworkConnect,
    NetworkDisconnect,
    UserLogon,
    UserLogoff,
    Printer,
    PrintJob,
    Docking,
    Service,
    CDROMInserted,
    CDROMEjected,
};
struct TWmiEventKindInfo {
    const wchar_t* NameSpace;
    const wchar_t* Query;
    const wchar_t* ClassToCheck;
    std::vector<int> Privileges;
};
const TWmiEventKindInfo& EventKindInfo(TWmiEventKind kind);

// The class of the event object's path: created, deleted, modified or unknown.
TWmiEventAction EventActionOf(IDispatch* event);
