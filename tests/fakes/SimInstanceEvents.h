#pragma once
// Events of root\cimv2, which the simulated provider does not raise itself: the event sources
// opened there receive each raised event that their query selects. A query is understood as
// far as the watcher's kinds need: the event class after "from" (__InstanceOperationEvent
// stands for the three intrinsic ones), "within", and conditions joined by "and", either
// "TargetInstance isa "Class"" or "[Object.]Property = value". Any other query is refused.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/SimSchema.h"

class TSimRepository;
struct TSimInstanceEventQueue;

class TSimInstanceEvents {
public:
    TSimInstanceEvents();
    ~TSimInstanceEvents();

    // A source for the query; raises TSimError for a query it does not understand, or with the
    // error set below.
    Microsoft::WRL::ComPtr<IDispatch> Open(const std::wstring& query);
    // S_OK: sources open again.
    void SetOpenError(HRESULT error) { FOpenError = error; }

    // An event object of that class with those values in property order (a VT_DISPATCH value
    // from Instance is an embedded object), for every open source that selects it.
    void Raise(std::shared_ptr<const TSimClassDef> eventClass, const std::vector<VARIANT>& values);
    // An instance of an added class, as an event's TargetInstance or PreviousInstance.
    Microsoft::WRL::ComPtr<IDispatch> Instance(std::shared_ptr<const TSimClassDef> cls,
                                               const std::vector<VARIANT>& values);

private:
    std::shared_ptr<TSimRepository> FRepository; // none of the provider's: events have no methods
    HRESULT FOpenError = S_OK;
    std::mutex FLock;
    std::vector<std::weak_ptr<TSimInstanceEventQueue>> FQueues;
};
