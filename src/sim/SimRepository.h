#pragma once
// What the simulated WMI objects share: the adapters, the delay of their methods, the event
// sources waiting for media events, and the probe a test may have set.
#include <windows.h>
#include <oaidl.h>

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "framework/ComTypes.h"
#include "framework/Scoped.h"
#include "sim/SimAdapter.h"
#include "sim/SimProbe.h"
#include "sim/SimSchema.h"

class TSimProvider;

// The events waiting for one event source. Shared with the thread that pulls them.
struct TSimEventQueue {
    std::wstring ClassName; // MSNdis_StatusMediaConnect or MSNdis_StatusMediaDisconnect
    std::mutex Lock;
    std::deque<std::wstring> InstanceNames; // one per event, in order
    // Set while InstanceNames holds an event: a waiting caller keeps serving its apartment.
    ScopedHandle Ready{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

class TSimRepository {
public:
    std::vector<TSimAdapter> Adapters;
    DWORD Delay = 0; // each adapter method takes this long
    // What every adapter method answers instead of acting, when set (a probe's outcome wins).
    std::optional<long> Answer;

    // Event sources register here; events may be raised from any thread.
    std::mutex EventLock;
    std::vector<std::weak_ptr<TSimEventQueue>> EventQueues;

    TSimProvider* Owner = nullptr; // for OnCall; cleared when the provider goes

    // The probe set by a test, or one that changes nothing.
    ISimProbe& Probe() const;
    void SetProbe(ISimProbe* probe);

    // Two Ethernet adapters: 1 "Intel(R) PRO/1000 MT Network Connection", static
    // 192.168.1.20/24, gateway 192.168.1.1, DNS 192.168.1.1 and .2, connection "本地连接";
    // 8 "Realtek RTL8139 Family PCI Fast Ethernet NIC", DHCP 192.168.8.100/24, gateway and DNS
    // 192.168.8.1, connection "本地连接 2".
    void SetDefaultAdapters();
    TSimAdapter* FindAdapter(int index);

    // A class of the namespace (names ignore case), or none.
    std::shared_ptr<const TSimClassDef> FindClass(const std::wstring& nameSpace,
                                                  const std::wstring& name) const;
    // The property values of every instance of the class, in property order, in WMI's
    // automation forms: arrays as VT_ARRAY|VT_VARIANT, empty adapter values as null, 64-bit
    // integers as text.
    std::vector<std::vector<ScopedVariant>> Instances(const TSimClassDef& cls) const;

    // Opened sources of this media event class each receive one event.
    void RaiseMediaEvent(const std::wstring& className, const std::wstring& instanceName);

private:
    ISimProbe* FProbe = nullptr;
};
