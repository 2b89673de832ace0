#include "core/ProfileSwitch.h"

#include <algorithm>
#include <utility>

#include "core/NetshEngine.h"
#include "core/ProfileCheck.h"
#include "core/WmiEngine.h"
#include "framework/Application.h"

using Microsoft::WRL::ComPtr;

const wchar_t NotInPlaceCause[] = L"网卡未显示所设的 IP 配置";
const wchar_t CableOutNote[] = L"网线未连接：设置已保存，插上网线后生效。";

namespace {

bool Contains(const std::vector<std::wstring>& items, const std::wstring& item) {
    return std::find(items.begin(), items.end(), item) != items.end();
}

DWORD& ReadBackLimit() {
    static DWORD limit = ReadBackLimitMs;
    return limit;
}

// What the adapter of that Index shows now; none when it is gone or cannot be read (what the
// engine answered then stands alone).
std::optional<TAdapterState> ReadBack(IDispatch* services, const std::wstring& index) {
    try {
        return ReadAdapterState(services, index);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The result of one adapter: the engine's answers, judged by what the adapter shows now.
TSwitchResult Judged(const TSwitchResult& answered, const std::optional<TAdapterState>& now,
                     const TIpProfile& profile, const TAdapterState& previous, bool useNetsh) {
    // Taken at the next restart: what the adapter shows now cannot tell.
    if (answered.RestartNeeded()) return answered;
    // A call that raised never answered: what it was to change (servers obtained
    // automatically, say) may not show in what can be read back.
    if (answered.Failed && answered.Code == -1) return answered;
    if (now && ShowsProfile(*now, profile, previous, useNetsh)) return {};
    if (answered.Failed) return answered;
    // Every answer looked like success, yet the profile is not in place.
    return TSwitchResult::Failure(-1, NotInPlaceCause);
}

} // namespace

bool ShowsProfile(const TAdapterState& now, const TIpProfile& profile,
                  const TAdapterState& previous, bool useNetsh) {
    if (profile.UsesDhcp()) {
        if (!now.DHCPEnabled) return false;
        // A gateway the adapter had as static before must be gone, unless the lease brings the
        // same one (then the two cannot be told apart, and the route is the lease's anyway).
        // A lease need not have come yet: DHCP on is what the profile asks.
        if (!previous.DHCPEnabled)
            for (const std::wstring& gateway : IPv4Entries(now.DefaultIPGateway))
                if (Contains(previous.DefaultIPGateway, gateway) && gateway != now.DHCPServer)
                    return false;
    } else {
        // Both engines put in the default mask where the profile has none.
        const std::wstring mask = AppliedMask(profile);
        bool address = false;
        for (size_t i = 0; i < now.IPAddress.size() && i < now.IPSubnet.size(); ++i)
            address = address || (now.IPAddress[i] == profile.IPAddress && now.IPSubnet[i] == mask);
        // The profile's IPv4 gateway and no other; none when it has none.
        const std::vector<std::wstring> gateways = profile.DefaultIPGateway.empty()
                                                       ? std::vector<std::wstring>{}
                                                       : std::vector{profile.DefaultIPGateway};
        if (now.DHCPEnabled || !address || IPv4Entries(now.DefaultIPGateway) != gateways)
            return false;
    }
    // Servers obtained automatically are whatever the network gives: nothing to compare. netsh
    // is told the servers of a static profile whatever DNSEnabled says.
    const bool automatic =
        useNetsh ? profile.UsesDhcp() : profile.DNSEnabled || profile.DnsServers().empty();
    // In the profile's order: the first is the one asked first.
    return automatic || IPv4Entries(now.DNSServerSearchOrder) == profile.DnsServers();
}

TSwitchResult SwitchProfile(const std::wstring& section) {
    const TIpProfile profile = ReadProfile(section);
    const TSwitchOptions options = ReadSwitchOptions();
    // A value that is no plain address reaches no adapter and no command line.
    if (std::wstring fault = ProfileValueFault(profile, options.UseNetsh); !fault.empty())
        return TSwitchResult::Failure(-1, std::move(fault));
    const ComPtr<IDispatch> services = BindCimv2();
    std::vector<TSwitchTarget> targets = SwitchTargets(services.Get(), options.Adapter);
    if (targets.empty())
        return TSwitchResult::Failure(-1, options.Adapter.Named()
                                              ? MissingAdapterCause(options.Adapter)
                                              : std::wstring(NoAdapterCause));
    // netsh changes one connection: the first physical wired adapter's when none is named.
    if (options.UseNetsh) targets.resize(1);
    // Found by its GUID under another Index (a driver update, another USB port): remembered
    // anew, so that automatic switching hears it and older versions find it.
    if (options.Adapter.Named() && targets.front().Index != options.Adapter.Index)
        WriteAdapterChoice(ConfigIni(), targets.front().Choice());

    TSwitchResult result;
    for (const TSwitchTarget& target : targets) {
        const TAdapterState previous = AdapterStateOf(target.Configuration.Get());
        const TSwitchResult answered = options.UseNetsh
                                           ? NetshSwitchConnection(target.ConnectionName, profile)
                                           : WmiSwitchAdapter(services.Get(), target, profile);
        // With the cable out Windows shows no address, and keeps what was set for the next
        // connect: every answer a success is all that can be known.
        if (target.Disconnected && !answered.Failed) {
            result.Add(answered.RestartNeeded() ? answered : TSwitchResult::Done(CableOutNote));
            continue;
        }
        std::optional<TAdapterState> now = ReadBack(services.Get(), target.Index);
        // The class may show the change a moment after the answer: asked again until the
        // adapter shows the profile or the limit passes, the windows answering meanwhile.
        if (!answered.Failed && !answered.RestartNeeded()) {
            const ULONGLONG until = GetTickCount64() + ReadBackLimit();
            while (!(now && ShowsProfile(*now, profile, previous, options.UseNetsh)) &&
                   GetTickCount64() < until) {
                WaitDispatchingMessages(nullptr, ReadBackStepMs);
                now = ReadBack(services.Get(), target.Index);
            }
        }
        result.Add(Judged(answered, now, profile, previous, options.UseNetsh));
    }
    const auto plugged = std::find_if(targets.begin(), targets.end(),
                                      [](const TSwitchTarget& t) { return !t.Disconnected; });
    result.AdapterGuid = plugged != targets.end() ? plugged->Guid : targets.front().Guid;
    return result;
}

DWORD SetReadBackLimit(DWORD milliseconds) {
    return std::exchange(ReadBackLimit(), milliseconds);
}

int64_t ApplyProfile(const std::wstring& section) {
    return SwitchProfile(section).Code;
}
