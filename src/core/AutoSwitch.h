#pragma once
// Automatic switching: a connect of the watched adapter soon after its disconnect switches to
// the other profile only when the cable did not come back to the active profile's network (a
// cable re-seated, a dock, a switch rebooting, a sleep: most reconnects come back). The network
// is asked on a worker; nothing here waits for it.
#include <cstdint>
#include <functional>
#include <string>

#include "core/BackgroundAsk.h"

class TAutoSwitch {
public:
    // What the program around it does.
    struct THost {
        // Whether a switch may start now: the option ticked, the program not ending, no switch
        // running.
        std::function<bool()> MaySwitch;
        // Switches to the profile as a double click does, without asking the network after it;
        // answers the switch's code (0: done).
        std::function<int64_t(const std::wstring& profile)> Switch;
        // After an automatic switch; found: the new profile's network answered.
        std::function<void(const std::wstring& profile, bool found)> Switched;
        // The cable came back to the active profile's network: nothing was switched.
        std::function<void(const std::wstring& profile)> Unchanged;
    };
    // A connect this long after the disconnect, in time awake, is no reconnect.
    static constexpr uint64_t ReconnectWindowMs = 60000;

    explicit TAutoSwitch(THost host);

    // The watcher's media events, with the adapter as NDIS names it.
    void Disconnected(const std::wstring& adapter);
    void Connected(const std::wstring& adapter);
    // The computer goes to sleep (PBT_APMSUSPEND).
    void Suspending();
    // After a switch the user made on that adapter: the profile's network is asked, and
    // learned if it answers.
    void Learn(const std::wstring& profile, const std::wstring& adapterGuid);
    // A connect is being judged, or a switch's network asked.
    bool Asking() const { return FAsk.Busy(); }

    // Milliseconds awake: by default QueryUnbiasedInterruptTime, which stops while the computer
    // sleeps, as GetTickCount64 does not.
    void SetClock(std::function<uint64_t()> awakeMs) { FAwakeMs = std::move(awakeMs); }
    void SetProbeTimes(const TProbeTimes& times) { FTimes = times; }

private:
    bool Hears(const std::wstring& adapter) const;
    void Ask(const std::wstring& profile, const std::wstring& adapterGuid,
             std::function<void(const TNetworkAnswer&)> done);
    void ActiveAnswered(const std::wstring& active, const std::wstring& adapterGuid,
                        const TNetworkAnswer& answer);

    THost FHost;
    std::function<uint64_t()> FAwakeMs;
    TProbeTimes FTimes;
    TBackgroundAsk FAsk;
    uint64_t FLastDisconnect = 0;
    // A connect switches only after a disconnect, once: a link that reports itself connected
    // twice (a driver's renegotiation) must not switch back.
    bool FDisconnectSeen = false;
    // The question in flight is whether a connect came back to the active network.
    bool FJudging = false;
};
