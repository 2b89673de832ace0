#pragma once
// What the simulated WMI objects share: the adapters and the networks their cables are in, the
// delay of their methods, the event sources waiting for media events, the simulated sleep, and
// the probe a test may have set.
#include <windows.h>
#include <oaidl.h>

#include <atomic>
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

// The machine --simulate shows, a current laptop: 1 the wired Ethernet adapter ("以太网",
// static 192.168.1.20/24, gateway 192.168.1.1, DNS 192.168.1.1 and .2); 8 a USB Ethernet
// adapter ("以太网 2", DHCP 192.168.8.100/24 from 192.168.8.1); 12 Wi-Fi ("WLAN", DHCP from
// 192.168.12.1); 17 the WSL virtual switch ("vEthernet (WSL)", static 172.20.48.1/20); 21 a
// VPN adapter whose tunnel is down (not IP-enabled).
std::vector<TSimAdapter> SimDefaultAdapters();

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
    std::vector<TSimNetwork> Networks;
    DWORD Delay = 0; // each adapter method takes this long
    // An ARP try without an answer takes this long; read by the threads that ask.
    std::atomic<DWORD> ArpTimeoutMs = 1000;
    // What every adapter method answers instead of acting, when set (a probe's outcome wins).
    std::optional<uint32_t> Answer;

    // Event sources register here; events may be raised from any thread.
    std::mutex EventLock;
    std::vector<std::weak_ptr<TSimEventQueue>> EventQueues;

    TSimProvider* Owner = nullptr; // for OnCall; cleared when the provider goes

    // The simulated sleep: the adapters whose links it took down, by NDIS name, and the time
    // spent asleep, which AsleepMs reads from any thread.
    std::vector<std::wstring> AsleepAdapters;
    mutable std::mutex SleepLock;
    bool Asleep = false;
    ULONGLONG AsleepSince = 0, AsleepTotal = 0;

    // The probe set by a test, or one that changes nothing.
    ISimProbe& Probe() const;
    void SetProbe(ISimProbe* probe);

    // A current laptop (see SimDefaultAdapters), none of whose cables is in a simulated network.
    void SetDefaultAdapters();
    TSimAdapter* FindAdapter(int index);
    // The adapter NDIS names so (its description), or nullptr.

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
