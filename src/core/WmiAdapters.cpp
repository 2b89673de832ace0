#include "core/WmiAdapters.h"

#include <objbase.h>

#include <algorithm>

#include "framework/Strings.h"
#include "wmi/WmiAutomation.h"

using Microsoft::WRL::ComPtr;

const wchar_t NoAdapterCause[] = L"没有可切换的网卡：找不到已启用 IP 的有线网卡。";

namespace {

const wchar_t kMoniker[] = L"winmgmts:\\\\.\\root\\cimv2";
const wchar_t kStandardMoniker[] = L"winmgmts:\\\\.\\root\\StandardCimv2";
constexpr int kWiredMedium = 14; // NdisPhysicalMedium802_3
constexpr int kMediaConnected = 1;
// Win32_NetworkAdapter.NetConnectionStatus: 2 connected, 7 media disconnected.
constexpr int kNetConnected = 2;
constexpr int kMediaDisconnected = 7;

ComPtr<IDispatch> Query(IDispatch* services, const std::wstring& text) {
    const ScopedVariant query(text);
    return WmiObject(WmiCall(services, L"ExecQuery", {query.Get()}));
}

std::vector<std::wstring> Strings(IDispatch* object, const wchar_t* property) {
    const ScopedVariant value = WmiGet(object, property);
    if (!(value.Type() & VT_ARRAY)) return {};
    return SafeArrayStrings(value.Get().parray);
}

// An Index as WMI writes it: decimal digits without a leading zero.
bool IsIndex(const std::wstring& text) {
    return !text.empty() && text.size() <= 10 && (text.size() == 1 || text[0] != L'0') &&
           text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

} // namespace

ComPtr<IDispatch> BindCimv2() {
    return BindObject(kMoniker);
}

TAdapterState AdapterStateOf(IDispatch* configuration) {
    TAdapterState state;
    state.DHCPEnabled = WmiBool(WmiGet(configuration, L"DHCPEnabled"));
    state.IPAddress = Strings(configuration, L"IPAddress");
    state.IPSubnet = Strings(configuration, L"IPSubnet");
    state.DefaultIPGateway = Strings(configuration, L"DefaultIPGateway");
    state.DNSServerSearchOrder = Strings(configuration, L"DNSServerSearchOrder");
    state.DHCPServer = WmiText(WmiGet(configuration, L"DHCPServer"));
    return state;
}

std::vector<TSwitchTarget> IpEnabledAdapters(IDispatch* services) {
    std::vector<TSwitchTarget> adapters;
    WmiForEach(Query(services, L"Select * from Win32_NetworkAdapterConfiguration where "
                               L"IPEnabled=TRUE")
                   .Get(),
               [&](IDispatch* configuration) {
                   TSwitchTarget& adapter = adapters.emplace_back();
                   adapter.Configuration = configuration;
                   adapter.Index = WmiText(WmiGet(configuration, L"Index"));
                   adapter.Guid = WmiText(WmiGet(configuration, L"SettingID"));
               });
    if (adapters.empty()) return adapters;
    // One query for the names, compared here: a name may hold quotes and backslashes.
    WmiForEach(Query(services, L"select * from Win32_NetworkAdapter").Get(), [&](IDispatch* a) {
        const std::wstring index = WmiText(WmiGet(a, L"Index"));
        for (TSwitchTarget& adapter : adapters) {
            if (adapter.Index != index) continue;
            adapter.ConnectionName = WmiText(WmiGet(a, L"NetConnectionID"));
            adapter.Description = WmiText(WmiGet(a, L"Description"));
            adapter.Disconnected = WmiInt(WmiGet(a, L"NetConnectionStatus")) == kMediaDisconnected;
        }
    });
    for (const TAdapterKind& kind : AdapterKinds(services))
        for (TSwitchTarget& adapter : adapters)
            if (adapter.Index == kind.Index) adapter.PhysicalWired = kind.Wired && kind.Physical;
    return adapters;
}

std::vector<TSwitchTarget> SwitchTargets(IDispatch* services, const TAdapterChoice& adapter) {
    std::vector<TSwitchTarget> all = IpEnabledAdapters(services);
    std::vector<TSwitchTarget> targets;
    const auto named = [&](auto same) {
        for (const TSwitchTarget& a : all)
            if (same(a)) targets.push_back(a);
    };
    if (!adapter.Guid.empty())
        named([&](const TSwitchTarget& a) { return SameText(a.Guid, adapter.Guid); });
    // An Index Windows gave another adapter since does not stand for the one remembered.
    if (targets.empty() && !adapter.Index.empty())
        named([&](const TSwitchTarget& a) {
            return a.Index == adapter.Index && (adapter.Guid.empty() || a.Guid.empty());
        });
    if (!adapter.Named()) named([](const TSwitchTarget& a) { return a.PhysicalWired; });
    return targets;
}

std::vector<TSwitchTarget> PhysicalWiredAdapters(IDispatch* services) {
    std::vector<TSwitchTarget> wired = SwitchTargets(services, {});
    std::stable_partition(wired.begin(), wired.end(),
                          [](const TSwitchTarget& a) { return !a.Disconnected; });
    return wired;
}

std::optional<TAdapterState> ReadAdapterState(IDispatch* services, const std::wstring& index) {
    if (!IsIndex(index)) return std::nullopt;
    std::optional<TAdapterState> state;
    WmiForEach(
        Query(services, L"select * from Win32_NetworkAdapterConfiguration where Index=" + index)
            .Get(),
        [&](IDispatch* configuration) {
            if (!state) state = AdapterStateOf(configuration);
        });
    return state;
}

std::vector<TAdapterKind> AdapterKinds(IDispatch* services) {
    std::vector<TAdapterKind> kinds;
    std::vector<std::wstring> interfaces; // InterfaceIndex of each, to meet MSFT_NetAdapter
    WmiForEach(Query(services, L"select * from Win32_NetworkAdapter").Get(), [&](IDispatch* a) {
        // As Windows 7 tells it, where root\StandardCimv2 does not answer: a physical adapter
        // of type 0, "Ethernet 802.3", which Wi-Fi adapters report as well.
        kinds.push_back({WmiText(WmiGet(a, L"Index")), WmiText(WmiGet(a, L"Name")),
                         WmiText(WmiGet(a, L"GUID")), WmiInt(WmiGet(a, L"AdapterTypeID")) == 0,
                         WmiBool(WmiGet(a, L"PhysicalAdapter")),
                         WmiInt(WmiGet(a, L"NetConnectionStatus")) == kNetConnected});
        interfaces.push_back(WmiText(WmiGet(a, L"InterfaceIndex")));
    });
    ComPtr<IDispatch> standard;
    ComPtr<IDispatch> netAdapters;
    try {
        standard = BindObject(kStandardMoniker);
        netAdapters = Query(standard.Get(), L"select * from MSFT_NetAdapter");
    } catch (const std::exception&) {
        return kinds; // Windows 7: no MSFT_NetAdapter, nothing known of the kinds
    }
    WmiForEach(netAdapters.Get(), [&](IDispatch* n) {
        const std::wstring interfaceIndex = WmiText(WmiGet(n, L"InterfaceIndex"));
        for (size_t i = 0; i < kinds.size(); ++i) {
            if (interfaces[i].empty() || interfaces[i] != interfaceIndex) continue;
            kinds[i].Wired = WmiInt(WmiGet(n, L"NdisPhysicalMedium")) == kWiredMedium;
            kinds[i].Physical =
                WmiBool(WmiGet(n, L"HardwareInterface")) && !WmiBool(WmiGet(n, L"Virtual"));
            kinds[i].Connected = WmiInt(WmiGet(n, L"MediaConnectState")) == kMediaConnected;
            kinds[i].Known = true;
        }
    });
    return kinds;
}

std::wstring WiredAdapterIndex() {
    const ComPtr<IDispatch> services = BindCimv2();
    const std::vector<TSwitchTarget> wired = PhysicalWiredAdapters(services.Get());
    return wired.empty() ? std::wstring() : wired.front().Index;
}

bool HearsMediaEvent(const std::wstring& instanceName, const TAdapterChoice& adapter) {
    if (instanceName.empty()) return true;
    const ComPtr<IDispatch> services = BindCimv2();
    for (const TAdapterKind& kind : AdapterKinds(services.Get())) {
        if (!SameText(kind.InstanceName, instanceName)) continue;
        if (!adapter.Guid.empty() && !kind.Guid.empty()) return SameText(kind.Guid, adapter.Guid);
        if (adapter.Named()) return kind.Index == adapter.Index;
        // Wi-Fi coming into range, a virtual switch or a tunnel going up and down with its
        // host: no cable moved, and none of them is what a switch without a named adapter
        // changes.
        return kind.Wired && kind.Physical;
    }
    return !adapter.Named();
}

std::wstring MediaEventAdapterGuid(const std::wstring& instanceName) {
    const ComPtr<IDispatch> services = BindCimv2();
    for (const TAdapterKind& kind : AdapterKinds(services.Get()))
        if (SameText(kind.InstanceName, instanceName)) return kind.Guid;
    return {};
}

std::wstring MissingAdapterCause(const TAdapterChoice& adapter) {
    const std::wstring name = adapter.Description.empty() ? adapter.Index : adapter.Description;
    return L"找不到网卡“" + name + L"”：请在“参数设置”中重新选择网卡。";
}
