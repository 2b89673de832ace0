#include "core/WmiAdapters.h"

#include <objbase.h>

#include "framework/Strings.h"
#include "wmi/WmiAutomation.h"

using Microsoft::WRL::ComPtr;

const wchar_t NoAdapterCause[] = L"没有可切换的网卡：找不到已启用 IP 的网卡。";

namespace {

const wchar_t kMoniker[] = L"winmgmts:\\\\.\\root\\cimv2";
const wchar_t kStandardMoniker[] = L"winmgmts:\\\\.\\root\\StandardCimv2";
constexpr int kWiredMedium = 14; // NdisPhysicalMedium802_3
constexpr int kMediaConnected = 1;

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

std::vector<TSwitchTarget> SwitchTargets(IDispatch* services, const std::wstring& adapter) {
    std::vector<TSwitchTarget> targets;
    // Only digits reach a query text.
    if (!adapter.empty() && !IsIndex(adapter)) return targets;
    WmiForEach(Query(services, L"Select * from Win32_NetworkAdapterConfiguration where "
                               L"IPEnabled=TRUE")
                   .Get(),
               [&](IDispatch* configuration) {
                   const std::wstring index = WmiText(WmiGet(configuration, L"Index"));
                   if (adapter.empty() || index == adapter)
                       targets.push_back({configuration, index, {}});
               });
    // One query for the names, compared here: a name may hold quotes and backslashes.
    if (targets.empty()) return targets;
    WmiForEach(Query(services, L"select * from Win32_NetworkAdapter").Get(), [&](IDispatch* a) {
        const std::wstring index = WmiText(WmiGet(a, L"Index"));
        for (TSwitchTarget& target : targets)
            if (target.Index == index)
                target.ConnectionName = WmiText(WmiGet(a, L"NetConnectionID"));
    });
    return targets;
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
        kinds.push_back({WmiText(WmiGet(a, L"Index")), WmiText(WmiGet(a, L"Name"))});
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
    const std::vector<TSwitchTarget> enabled = SwitchTargets(services.Get(), L"");
    for (const TAdapterKind& kind : AdapterKinds(services.Get())) {
        if (!kind.Wired || !kind.Physical || !kind.Connected) continue;
        for (const TSwitchTarget& target : enabled)
            if (target.Index == kind.Index) return kind.Index;
    }
    return {};
}

bool HearsMediaEvent(const std::wstring& instanceName, const std::wstring& adapter) {
    if (instanceName.empty()) return true;
    const ComPtr<IDispatch> services = BindCimv2();
    for (const TAdapterKind& kind : AdapterKinds(services.Get())) {
        if (!SameText(kind.InstanceName, instanceName)) continue;
        if (!adapter.empty()) return kind.Index == adapter;
        // A virtual switch or a tunnel goes up and down with its host, not with a cable.
        return kind.Physical || !kind.Known;
    }
    return adapter.empty();
}

std::wstring MissingAdapterCause(const std::wstring& index) {
    return L"找不到指定的网卡 " + index;
}
