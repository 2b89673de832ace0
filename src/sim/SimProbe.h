#pragma once
// The seam through which tests program the provider and watch what callers do. The program
// itself never sets a probe: without one, the provider answers as the adapters dictate and
// keeps no record beyond the call it reports to OnCall.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/ComTypes.h"
#include "wbem/WbemScripting.h"
#include "sim/SimAdapter.h"
#include "sim/SimSchema.h"

struct TSimNamedValue { // one entry of a named-value context, as it arrived
    std::wstring Name;
    VARTYPE Type = VT_EMPTY;
    std::wstring Value; // as text
    long Flags = 0;     // the flags given to Add
};

struct TSimQuery { // one ExecQuery or ExecNotificationQuery
    std::wstring Text;
    std::wstring Language;                   // "WQL" when not given
    long Flags = kWbemFlagReturnImmediately; // when not given
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

struct TSimOutcome { // what an adapter method does
    enum TKind {
        Perform, // checks its arguments and changes the adapter, as Windows does
        Answer,  // answers Code; changes the adapter only when Code is 0 or 1
        Raise,   // raises Code and leaves the adapter as it was
    } Kind = Perform;
    uint32_t Code = 0; // an answer, or the HRESULT raised
};

// Every member has a default that changes nothing, so a probe overrides only what it needs.
class ISimProbe {
public:
    virtual ~ISimProbe() = default;

    // An adapter method is about to act (Result not yet known): what it does.
    virtual TSimOutcome MethodStarting(const TSimCall&) { return {}; }
    // The same call once it answered or raised.
    virtual void MethodDone(const TSimCall&) {}
    // Not S_OK: winmgmts binds and ConnectServer fail with this error.
    virtual HRESULT ServiceError() { return S_OK; }
    // Not S_OK: a query on that class fails with this error, as any failing query does (at
    // once, or at its first Count, Item or Next when it was asked to return immediately).
    virtual HRESULT QueryError(const std::wstring&) { return S_OK; }
    // Not S_OK: ExecNotificationQuery with this query text fails with this error.
    virtual HRESULT NotificationQueryError(const std::wstring&) { return S_OK; }
    // Not S_OK: this NextEvent call fails with this error. Asked on the caller's thread.
    virtual HRESULT NextEventError() { return S_OK; }
    // Classes of root\cimv2 beside the adapter classes, and their instances' values in
    // property order.
    virtual std::shared_ptr<const TSimClassDef> FindClass(const std::wstring&) { return nullptr; }
    virtual std::vector<std::vector<ScopedVariant>> Instances(const TSimClassDef&) { return {}; }
    // An event source for that event query of the namespace, in place of the provider's own,
    // which knows the media events of root\WMI only (nullptr: the provider's own).
    virtual Microsoft::WRL::ComPtr<IDispatch> OpenEventSource(const std::wstring&,
                                                              const TSimQuery&) {
        return nullptr;
    }

    // What callers did, as it arrived.
    virtual void MonikerBound(const std::wstring&) {}
    virtual void Connected(const TSimConnect&) {}
    virtual void Queried(const TSimQuery&) {}
    virtual void NotificationQueried(const TSimQuery&) {}
    virtual void Got(const TSimGet&) {}
    virtual void ImpersonationSet(int) {}
    virtual void PrivilegeAdded(const TSimPrivilege&) {}
};
