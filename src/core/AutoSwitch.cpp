#include "core/AutoSwitch.h"

#include <exception>

#include "core/Settings.h"
#include "core/WmiAdapters.h"

namespace {
uint64_t UnbiasedMs() {
    ULONGLONG time = 0; // in 100 ns
    QueryUnbiasedInterruptTime(&time);
    return time / 10000;
}

std::wstring OtherProfile(const std::wstring& profile) {
    return profile == L"A" ? L"B" : L"A";
}

// Learning is worth having, not worth a message: a Config.ini that cannot be written keeps
// what it knew.
void Remember(const std::wstring& profile, const TKnownNetwork& heard) {
    try {
        WriteKnownNetwork(profile, heard);
    } catch (const std::exception&) {
    }
}
} // namespace

TAutoSwitch::TAutoSwitch(THost host) : FHost(std::move(host)), FAwakeMs(&UnbiasedMs) {}

bool TAutoSwitch::Hears(const std::wstring& adapter) const {
    try {
        return HearsMediaEvent(adapter, ReadSwitchOptions().Adapter);
    } catch (const std::exception&) {
        // WMI cannot tell whose event it is: heard, as every event was before adapters were told
        // apart.
        return true;
    }
}

void TAutoSwitch::Disconnected(const std::wstring& adapter) {
    // Wi-Fi leaving the range or a virtual adapter going down is no cable pulled.
    if (!Hears(adapter)) return;
    FLastDisconnect = FAwakeMs();
    FDisconnectSeen = true;
    // Gone again while its network was asked: the next connect is judged anew.
    if (FJudging) FAsk.Cancel();
    FJudging = false;
}

void TAutoSwitch::Suspending() {
    // A disconnect before the sleep is not recent at resume, however short the time awake.
    const bool judging = FJudging;
    FDisconnectSeen = false;
    if (!judging) return;
    // A question the sleep cuts off would answer "no network": the connect Windows reports
    // after resume is judged instead.
    FAsk.Cancel();
    FJudging = false;
    FDisconnectSeen = true;
    FLastDisconnect = FAwakeMs();
}

void TAutoSwitch::Connected(const std::wstring& adapter) {
    // A connect while a switch may not start leaves the disconnect for the next connect.
    if (!FHost.MaySwitch()) return;
    if (!FDisconnectSeen || FAwakeMs() - FLastDisconnect > ReconnectWindowMs) return;
    if (!Hears(adapter)) return;
    FDisconnectSeen = false;
    const std::wstring active = ActiveProfile();
    // A damaged NET/NET names no profile to come back to or leave.
    if (active != L"A" && active != L"B") return;
    std::wstring guid;
    try {
        guid = MediaEventAdapterGuid(adapter);
    } catch (const std::exception&) {
        // Not asked on an adapter WMI cannot name: no answer, so the cable moved, as before.
    }
    FJudging = true;
    Ask(active, guid, [this, active, guid](const TNetworkAnswer& answer) {
        ActiveAnswered(active, guid, answer);
    });
}

void TAutoSwitch::ActiveAnswered(const std::wstring& active, const std::wstring& adapterGuid,
                                 const TNetworkAnswer& answer) {
    FJudging = false;
    // The user switched meanwhile: that choice stands.
    if (ActiveProfile() != active) return;
    if (answer.Same) {
        Remember(active, answer.Heard);
        if (FHost.Unchanged) FHost.Unchanged(active);
        return;
    }
    if (!FHost.MaySwitch()) return;
    const std::wstring other = OtherProfile(active);
    if (FHost.Switch(other) != 0) return;
    Ask(other, adapterGuid, [this, other](const TNetworkAnswer& found) {
        if (found.Answered) Remember(other, found.Heard);
        if (FHost.Switched) FHost.Switched(other, found.Answered);
    });
}

void TAutoSwitch::Learn(const std::wstring& profile, const std::wstring& adapterGuid) {
    if (adapterGuid.empty()) return;
    FJudging = false;
    Ask(profile, adapterGuid, [profile](const TNetworkAnswer& answer) {
        if (answer.Answered) Remember(profile, answer.Heard);
    });
}

void TAutoSwitch::Ask(const std::wstring& profile, const std::wstring& adapterGuid,
                      std::function<void(const TNetworkAnswer&)> done) {
    FAsk.Ask(NetworkProbe(), NetworkQuestion(profile, adapterGuid), FTimes, std::move(done));
}
