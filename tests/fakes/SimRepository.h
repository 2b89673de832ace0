#pragma once
// What the simulated WMI objects share: the adapters, the behaviour tests asked for, the record
// of what callers did, and the class definitions of root\cimv2 the provider knows.
#include <windows.h>
#include <oaidl.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SimulatedWmi.h"
#include "framework/ComTypes.h"

// CIM types of the schema (the numbers WMI's CIMType answers).
enum TSimCimType : long {
    CimSint16 = 2,
    CimSint32 = 3,
    CimReal32 = 4,
    CimReal64 = 5,
    CimString = 8,
    CimBoolean = 11,
    CimObject = 13,
    CimSint8 = 16,
    CimUint8 = 17,
    CimUint16 = 18,
    CimUint32 = 19,
    CimSint64 = 20,
    CimUint64 = 21,
    CimDatetime = 101,
    CimReference = 102,
    CimChar16 = 103,
};

struct TSimMethodDef {
    std::wstring Name;
    std::vector<TSimPropertyDef> InParameters; // in their order; an empty list has no object
};

struct TSimClassDef {
    std::wstring Name;
    std::wstring Superclass;
    std::vector<TSimPropertyDef> Properties; // in the order Properties_ lists them
    std::vector<TSimMethodDef> Methods;
};

// The CIM type's name as MOF writes it ("uint32", "string", ...).
std::wstring SimCimTypeName(long cimType);
// Win32_NetworkAdapterConfiguration or Win32_NetworkAdapter, in any case.
bool IsAdapterClass(const std::wstring& name);
// The provider's spelling of a namespace it serves ("root\cimv2", "root\WMI"; empty is
// root\cimv2); empty for any other.
std::wstring SimNamespace(const std::wstring& name);

// The events waiting for one event source. Shared with the thread that pulls them.
struct TSimEventQueue {
    std::wstring ClassName; // MSNdis_StatusMediaConnect or MSNdis_StatusMediaDisconnect
    std::mutex Lock;
    std::condition_variable Ready;
    std::deque<std::wstring> InstanceNames; // one per event, in order
};

class TSimRepository {
public:
    struct TOutcome {
        std::wstring Method;
        int AdapterIndex = -1;
        bool Raise = false;
        long Code = 0;
    };

    std::vector<TSimAdapter> Adapters;
    std::vector<TOutcome> Outcomes;
    DWORD Delay = 0;
    HRESULT ServiceError = S_OK;

    std::vector<TSimCall> Calls;
    std::vector<std::wstring> Queries;
    std::vector<TSimQuery> QueryDetails;
    int MonikerBinds = 0;
    std::vector<std::wstring> MonikerNames;
    std::vector<TSimConnect> Connects;
    std::vector<TSimGet> Gets;
    int ImpersonationLevel = 0;
    std::vector<TSimPrivilege> Privileges;
    std::vector<TSimQuery> NotificationQueries;

    // Event sources register here; events may be raised from any thread.
    std::mutex EventLock;
    std::vector<std::weak_ptr<TSimEventQueue>> EventQueues;

    struct TAddedClass {
        std::shared_ptr<TSimClassDef> Class;
        std::vector<std::vector<ScopedVariant>> Instances;
    };
    std::vector<TAddedClass> AddedClasses;

    TSimulatedWmi* Owner = nullptr; // for OnCall; cleared when the provider goes

    // A class of the namespace (names ignore case), or none.
    std::shared_ptr<const TSimClassDef> FindClass(const std::wstring& nameSpace,
                                                  const std::wstring& name) const;
    // The property values of every instance of the class, in property order, in WMI's
    // automation forms: arrays as VT_ARRAY|VT_VARIANT, empty adapter values as null, 64-bit
    // integers as text.
    std::vector<std::vector<ScopedVariant>> Instances(const TSimClassDef& cls) const;

    TSimAdapter* FindAdapter(int index);
    // The setting for this method and adapter, else the one for every adapter, else nullptr.
    const TOutcome* OutcomeFor(const std::wstring& method, int adapterIndex) const;
    void SetOutcome(TOutcome outcome);
};
