#include "core/WmiEngine.h"

#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <functional>
#include <vector>

#include "core/NetshEngine.h"
#include "core/Settings.h"
#include "wmi/WmiAutomation.h"

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kMoniker[] = L"winmgmts:\\\\.\\root\\cimv2";
const wchar_t kQuery[] = L"Select * from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE";

int Call(IDispatch* adapter, const wchar_t* method, std::initializer_list<VARIANT> args = {}) {
    return SwitchCode(CallMethod(adapter, method, args).Get());
}

// A one-dimensional string array with lower bound 1, held in a variant.
ScopedVariant StringArray(const std::vector<std::wstring>& items) {
    ScopedVariant v;
    v.SetArray(ScopedSafeArray::OfStrings(items, 1).Release(), VT_BSTR);
    return v;
}

// Binds to the WMI service anew and runs step on every IP-enabled adapter configuration.
// A step that raises counts as -1 for its adapter; the others are still processed. The
// answer is the first non-zero code met, so a failure on one adapter is never hidden by a
// success on a later one.
int ForEachAdapter(const std::function<int(IDispatch*)>& step) {
    ComPtr<IBindCtx> context;
    ComCheck(CreateBindCtx(0, &context));
    ComPtr<IMoniker> moniker;
    ULONG eaten = 0;
    ComCheck(MkParseDisplayNameEx(context.Get(), kMoniker, &eaten, &moniker));
    ComPtr<IUnknown> object;
    ComCheck(moniker->BindToObject(context.Get(), nullptr, IID_IUnknown,
                                   reinterpret_cast<void**>(object.GetAddressOf())));
    ComPtr<IDispatch> services;
    ComCheck(object.As(&services));

    const ScopedVariant query(std::wstring_view{kQuery});
    const ComPtr<IDispatch> adapters =
        WmiObject(CallMethod(services.Get(), L"ExecQuery", {query.Get()}));

    int code = 0;
    WmiForEach(adapters.Get(), [&](IDispatch* adapter) {
        int adapterCode;
        try {
            adapterCode = step(adapter);
        } catch (const std::exception&) {
            adapterCode = -1;
        }
        if (code == 0) code = adapterCode;
    });
    return code;
}

} // namespace

int SwitchCode(const VARIANT& answer) {
    ScopedVariant number;
    // Only a number is an answer: a method that answered nothing has not confirmed success.
    if (ConvertVariant(answer, VT_I4, number) != S_OK) return -1;
    return number.Get().lVal;
}

int WmiSetAddress(const std::wstring& address, const std::wstring& gateway,
                  const std::wstring& mask) {
    ScopedVariant addresses = StringArray({address});
    ScopedVariant gateways = StringArray({gateway});
    ScopedVariant masks = StringArray({mask.empty() ? std::wstring(L"255.255.255.0") : mask});
    const bool dhcp = address.empty() || address == L"DHCP";
    return ForEachAdapter([&](IDispatch* adapter) {
        if (dhcp) return Call(adapter, L"EnableDHCP");
        int code = Call(adapter, L"EnableStatic", {RefTo(*addresses.Ptr()), RefTo(*masks.Ptr())});
        if (code == 0 && !gateway.empty())
            code = Call(adapter, L"SetGateways", {RefTo(*gateways.Ptr())});
        return code;
    });
}

int WmiSetDns(const std::wstring& preferred, const std::wstring& alternate) {
    std::vector<std::wstring> given;
    for (const std::wstring* server : {&preferred, &alternate})
        if (!server->empty()) given.push_back(*server);
    ScopedVariant servers = given.empty() ? ScopedVariant::NotSupplied() : StringArray(given);
    return ForEachAdapter([&](IDispatch* adapter) {
        // Not supplied: the adapter goes back to servers obtained automatically.
        if (given.empty()) return Call(adapter, L"SetDNSServerSearchOrder", {servers.Get()});
        return Call(adapter, L"SetDNSServerSearchOrder", {RefTo(*servers.Ptr())});
    });
}

int ApplyProfile(const std::wstring& profile, const std::wstring& connectionName) {
    TIniFile& ini = ConfigIni();
    // Compared with case: "b" keeps the WMI engine.
    if (ini.ReadString(L"NET", L"Method", L"") == L"B")
        return NetshApplyProfile(profile, connectionName);
    int addressCode;
    if (ini.ReadString(profile, L"DHCPEnabled", L"0") == L"1") {
        addressCode = WmiSetAddress(L"", L"", L"");
    } else {
        const std::wstring mask = ini.ReadString(profile, L"IPSubnet", L"");
        const std::wstring gateway = ini.ReadString(profile, L"DefaultIPGateway", L"");
        addressCode = WmiSetAddress(ini.ReadString(profile, L"IPAddress", L""), gateway, mask);
    }
    int dnsCode;
    if (ini.ReadString(profile, L"DNSEnabled", L"") == L"1") {
        dnsCode = WmiSetDns(L"", L"");
    } else {
        const std::wstring alternate = ini.ReadString(profile, L"DNSB", L"");
        dnsCode = WmiSetDns(ini.ReadString(profile, L"DNSA", L""), alternate);
    }
    return addressCode != 0 ? addressCode : dnsCode;
}
