#include "core/WmiAdapters.h"

#include <objbase.h>

#include "wmi/WmiAutomation.h"

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kMoniker[] = L"winmgmts:\\\\.\\root\\cimv2";

ComPtr<IDispatch> Query(IDispatch* services, const std::wstring& text) {
    const ScopedVariant query(text);
    return WmiObject(WmiCall(services, L"ExecQuery", {query.Get()}));
}

// The first object of a query, or nullptr.
ComPtr<IDispatch> First(IDispatch* services, const std::wstring& text) {
    ComPtr<IDispatch> found;
    WmiForEach(Query(services, text).Get(), [&](IDispatch* object) {
        if (!found) found = object;
    });
    return found;
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

std::optional<TAdapterState> ReadConnectionState(const std::wstring& connectionName) {
    const ComPtr<IDispatch> services = BindCimv2();
    // Compared here rather than in the query: a name may hold quotes and backslashes.
    std::wstring index;
    WmiForEach(Query(services.Get(), L"select * from Win32_NetworkAdapter").Get(),
               [&](IDispatch* adapter) {
                   if (index.empty() &&
                       WmiText(WmiGet(adapter, L"NetConnectionID")) == connectionName)
                       index = WmiText(WmiGet(adapter, L"Index"));
               });
    if (!IsIndex(index)) return std::nullopt;
    const ComPtr<IDispatch> configuration = First(
        services.Get(), L"select * from Win32_NetworkAdapterConfiguration where Index=" + index);
    if (!configuration) return std::nullopt;
    TAdapterState state;
    state.DHCPEnabled = WmiBool(WmiGet(configuration.Get(), L"DHCPEnabled"));
    state.IPAddress = Strings(configuration.Get(), L"IPAddress");
    state.IPSubnet = Strings(configuration.Get(), L"IPSubnet");
    state.DefaultIPGateway = Strings(configuration.Get(), L"DefaultIPGateway");
    state.DNSServerSearchOrder = Strings(configuration.Get(), L"DNSServerSearchOrder");
    return state;
}

std::optional<std::wstring> AdapterConnectionName(const std::wstring& index) {
    // Only digits reach the query text.
    if (!IsIndex(index)) return std::nullopt;
    const ComPtr<IDispatch> services = BindCimv2();
    if (!First(services.Get(), L"select * from Win32_NetworkAdapterConfiguration where "
                               L"IPEnabled=TRUE and Index=" +
                                   index))
        return std::nullopt;
    const ComPtr<IDispatch> adapter =
        First(services.Get(), L"select * from Win32_NetworkAdapter where Index=" + index);
    if (!adapter) return std::nullopt;
    return WmiText(WmiGet(adapter.Get(), L"NetConnectionID"));
}

std::wstring MissingAdapterCause(const std::wstring& index) {
    return L"找不到指定的网卡 " + index;
}
