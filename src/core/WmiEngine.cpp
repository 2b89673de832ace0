#include "core/WmiEngine.h"

#include <windows.h>
#include <wbemcli.h>
#include <wrl/client.h>

#include <vector>

#include "core/NetshEngine.h"
#include "core/Settings.h"
#include "core/WmiAdapters.h"
#include "framework/Scoped.h"
#include "wmi/WmiAutomation.h"
#include "wmi/WmiMethod.h"
#include "wmi/WmiObjectSource.h"

using Microsoft::WRL::ComPtr;

const wchar_t NotElevatedCause[] = L"需要以管理员身份运行 Tarnwick。";

namespace {

const wchar_t kQuery[] = L"Select * from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE";
// The adapter methods' answer for a caller without the rights to change an adapter.
constexpr int AccessDenied = 91;

std::function<bool()>& ElevatedOverride() {
    static std::function<bool()> f;
    return f;
}

// One adapter's answer in a step: the code of its last call, and the method that gave it.
struct TAnswer {
    int Code = 0;
    const wchar_t* Method = L"";
};

TAnswer Call(IDispatch* adapter, const wchar_t* method, std::initializer_list<VARIANT> args = {}) {
    return {SwitchCode(WmiCall(adapter, method, args).Get()), method};
}

// A one-dimensional string array with lower bound 1, held in a variant.
ScopedVariant StringArray(const std::vector<std::wstring>& items) {
    ScopedVariant v;
    v.SetArray(ScopedSafeArray::OfStrings(items, 1).Release(), VT_BSTR);
    return v;
}

// The adapter and its services, offered to the method component for the method's qualifiers.
class TAdapterSource : public IWmiObjectSource {
public:
    TAdapterSource(IDispatch* adapter, IDispatch* services)
        : FAdapter(adapter), FServices(services) {}
    ComPtr<IDispatch> GetWmiObject() override { return FAdapter; }
    ComPtr<IDispatch> GetWmiServices() override { return FServices; }
    TComponent* GetComponent() override { return nullptr; }

private:
    ComPtr<IDispatch> FAdapter, FServices;
};

// An answer's description from the method's ValueMap / Values qualifiers, or its number.
std::wstring AnswerCause(IDispatch* services, IDispatch* adapter, const TAnswer& answer) {
    if (answer.Code == AccessDenied && !ProcessElevated()) return NotElevatedCause;
    std::wstring text;
    try {
        TAdapterSource source(adapter, services);
        TWmiMethod method(nullptr);
        method.SetWmiObjectSource(&source);
        method.SetWmiMethodName(answer.Method);
        text = method.ResultDescription(answer.Code);
    } catch (const std::exception&) {
        // Without its description the answer is still told, by its number.
    }
    return text.empty() ? std::to_wstring(answer.Code) : text;
}

std::wstring RaisedCause(const std::exception& e) {
    const auto* error = dynamic_cast<const EComError*>(&e);
    if (error && error->Code() == static_cast<HRESULT>(WBEM_E_ACCESS_DENIED) && !ProcessElevated())
        return NotElevatedCause;
    return ExceptionMessage(e);
}

// Binds to the WMI service anew and runs step on every IP-enabled adapter configuration, or on
// the one whose Index is adapter. A step that raises fails for its adapter; the others are
// still processed. The first failure met is the one reported, so a later success never hides
// it.
TSwitchResult ForEachAdapter(const std::wstring& adapter,
                             const std::function<TAnswer(IDispatch*)>& step) {
    const ComPtr<IDispatch> services = BindCimv2();
    const ScopedVariant query(std::wstring_view{kQuery});
    const ComPtr<IDispatch> adapters =
        WmiObject(CallMethod(services.Get(), L"ExecQuery", {query.Get()}));

    TSwitchResult result;
    bool found = false;
    WmiForEach(adapters.Get(), [&](IDispatch* configuration) {
        if (!adapter.empty() && WmiText(WmiGet(configuration, L"Index")) != adapter) return;
        found = true;
        try {
            const TAnswer answer = step(configuration);
            if (answer.Code == 0 || answer.Code == 1)
                result.Add({answer.Code, false, {}});
            else
                result.Add(TSwitchResult::Failure(
                    answer.Code, AnswerCause(services.Get(), configuration, answer)));
        } catch (const std::exception& e) {
            result.Add(TSwitchResult::Failure(-1, RaisedCause(e)));
        }
    });
    if (!adapter.empty() && !found) return TSwitchResult::Failure(-1, MissingAdapterCause(adapter));
    return result;
}

} // namespace

bool ProcessElevated() {
    if (ElevatedOverride()) return ElevatedOverride()();
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const ScopedHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated;
}

void SetProcessElevatedFunction(std::function<bool()> f) {
    ElevatedOverride() = std::move(f);
}

int SwitchCode(const VARIANT& answer) {
    ScopedVariant number;
    // Only a number is an answer: a method that answered nothing has not confirmed success.
    if (ConvertVariant(answer, VT_I4, number) != S_OK) return -1;
    return number.Get().lVal;
}

TSwitchResult WmiSetAddress(const std::wstring& address, const std::wstring& gateway,
                            const std::wstring& mask, const std::wstring& adapter) {
    ScopedVariant addresses = StringArray({address});
    ScopedVariant gateways = StringArray({gateway});
    ScopedVariant masks = StringArray({mask.empty() ? std::wstring(L"255.255.255.0") : mask});
    const bool dhcp = address.empty() || address == L"DHCP";
    return ForEachAdapter(adapter, [&](IDispatch* configuration) {
        if (dhcp) return Call(configuration, L"EnableDHCP");
        const TAnswer answer =
            Call(configuration, L"EnableStatic", {RefTo(*addresses.Ptr()), RefTo(*masks.Ptr())});
        // 1 is done, after a restart: the gateway belongs to the same change.
        if ((answer.Code != 0 && answer.Code != 1) || gateway.empty()) return answer;
        const TAnswer gatewayAnswer = Call(configuration, L"SetGateways", {RefTo(*gateways.Ptr())});
        return gatewayAnswer.Code == 0 ? answer : gatewayAnswer;
    });
}

TSwitchResult WmiSetDns(const std::wstring& preferred, const std::wstring& alternate,
                        const std::wstring& adapter) {
    std::vector<std::wstring> given;
    for (const std::wstring* server : {&preferred, &alternate})
        if (!server->empty()) given.push_back(*server);
    ScopedVariant servers = given.empty() ? ScopedVariant::NotSupplied() : StringArray(given);
    return ForEachAdapter(adapter, [&](IDispatch* configuration) {
        // Not supplied: the adapter goes back to servers obtained automatically.
        if (given.empty()) return Call(configuration, L"SetDNSServerSearchOrder", {servers.Get()});
        return Call(configuration, L"SetDNSServerSearchOrder", {RefTo(*servers.Ptr())});
    });
}

TSwitchResult SwitchProfile(const std::wstring& profile, const std::wstring& connectionName) {
    TIniFile& ini = ConfigIni();
    // Empty: every IP-enabled adapter, as always; an Index limits the switch to that adapter.
    const std::wstring adapter = ini.ReadString(L"NET", L"Adapter", L"");
    // Compared with case: "b" keeps the WMI engine.
    if (ini.ReadString(L"NET", L"Method", L"") == L"B") {
        if (adapter.empty()) return NetshSwitchProfile(profile, connectionName);
        const std::optional<std::wstring> name = AdapterConnectionName(adapter);
        if (!name) return TSwitchResult::Failure(-1, MissingAdapterCause(adapter));
        return NetshSwitchProfile(profile, *name);
    }
    TSwitchResult result;
    if (ini.ReadString(profile, L"DHCPEnabled", L"0") == L"1") {
        result = WmiSetAddress(L"", L"", L"", adapter);
    } else {
        const std::wstring mask = ini.ReadString(profile, L"IPSubnet", L"");
        const std::wstring gateway = ini.ReadString(profile, L"DefaultIPGateway", L"");
        result = WmiSetAddress(ini.ReadString(profile, L"IPAddress", L""), gateway, mask, adapter);
    }
    // Both steps always run; the address step's failure is the one reported.
    if (ini.ReadString(profile, L"DNSEnabled", L"") == L"1") {
        result.Add(WmiSetDns(L"", L"", adapter));
    } else {
        const std::wstring alternate = ini.ReadString(profile, L"DNSB", L"");
        result.Add(WmiSetDns(ini.ReadString(profile, L"DNSA", L""), alternate, adapter));
    }
    return result;
}

int ApplyProfile(const std::wstring& profile, const std::wstring& connectionName) {
    return SwitchProfile(profile, connectionName).Code;
}
