#include "core/WmiEngine.h"

#include <windows.h>
#include <wbemcli.h>
#include <wrl/client.h>

#include <utility>
#include <vector>

#include "core/ProfileCheck.h"
#include "framework/Scoped.h"
#include "wmi/WmiAutomation.h"
#include "wmi/WmiMethod.h"
#include "wmi/WmiObjectSource.h"

using Microsoft::WRL::ComPtr;

const wchar_t NotElevatedCause[] = L"需要以管理员身份运行 Tarnwick。";

namespace {

std::function<bool()>& ElevatedOverride() {
    static std::function<bool()> f;
    return f;
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

// What EnableStatic answers on an adapter that is static already, having set the address all
// the same (documented as "Unable to configure DHCP service").
const uint32_t kStaticAlready = 81;

// The answers of one adapter's calls, in order; the first failing one is what it comes to.
class TAdapterCalls {
public:
    TAdapterCalls(IDispatch* services, IDispatch* adapter)
        : FServices(services), FAdapter(adapter) {}

    // Calls the method; a call that raises fails the adapter with -1 and what was raised.
    // alsoDone: an answer that reports the change made, no failure and no cause should the
    // profile not be in place.
    uint32_t Call(const wchar_t* method, std::initializer_list<VARIANT> args = {},
                  uint32_t alsoDone = 0) {
        try {
            const std::optional<uint32_t> code = AnswerCode(WmiCall(FAdapter, method, args).Get());
            // A method that answered no number has not confirmed anything.
            if (!code) {
                Fail(-1, std::wstring(method) + L" 未返回结果");
                return UINT32_MAX;
            }
            if (*code == 1)
                FResult.Add({1, false, {}, {}, {}});
            else if (*code != 0 && *code != alsoDone)
                Fail(*code, AnswerCause(FServices, FAdapter, method, *code));
            return *code;
        } catch (const std::exception& e) {
            Fail(-1, RaisedCause(e));
            return UINT32_MAX;
        }
    }
    const TSwitchResult& Result() const { return FResult; }

private:
    void Fail(int64_t code, std::wstring cause) {
        FResult.Add(TSwitchResult::Failure(code, std::move(cause)));
    }

    IDispatch* FServices;
    IDispatch* FAdapter;
    TSwitchResult FResult;
};

const struct {
    uint32_t Code;
    const wchar_t* Cause;
} kDocumentedCauses[] = {
    {64, L"此系统不支持该操作"},
    {65, L"未知错误"},
    {66, L"子网掩码无效"},
    {67, L"处理网卡配置时出错"},
    {68, L"参数无效"},
    {69, L"默认网关超过五个"},
    {70, L"IP 地址无效"},
    {71, L"默认网关地址无效"},
    {72, L"注册表出错"},
    {73, L"域名无效"},
    {74, L"主机名无效"},
    {75, L"未设置 WINS 服务器"},
    {76, L"文件无效"},
    {77, L"系统路径无效"},
    {78, L"文件复制失败"},
    {79, L"安全参数无效"},
    {80, L"无法配置 TCP/IP 服务"},
    {81, L"无法配置 DHCP 服务"},
    {82, L"无法续订 DHCP 租约"},
    {83, L"无法释放 DHCP 租约"},
    {84, L"此网卡未启用 IP"},
    {85, L"此网卡未启用 IPX"},
    {86, L"帧类型或网络号超出范围"},
    {87, L"帧类型无效"},
    {88, L"网络号无效"},
    {89, L"网络号重复"},
    {90, L"参数超出范围"},
    {91, L"拒绝访问"},
    {92, L"内存不足"},
    {93, L"设置已存在"},
    {94, L"找不到路径、文件或对象"},
    {95, L"无法通知网络服务"},
    {96, L"无法通知 DNS 服务"},
    {97, L"此网卡的设置无法更改"},
    {98, L"部分 DHCP 租约未能释放或续订"},
    {100, L"此网卡未启用 DHCP"},
    {2147786788u, L"网卡的设置正被另一个程序修改：请关闭该网卡的“属性”窗口后重试"},
};

} // namespace

std::wstring DocumentedAnswerCause(uint32_t code) {
    for (const auto& entry : kDocumentedCauses)
        if (entry.Code == code) return entry.Cause;
    return {};
}

std::wstring AnswerCause(IDispatch* services, IDispatch* adapter, const wchar_t* method,
                         uint32_t code) {
    if (code == AccessDenied && !ProcessElevated()) return NotElevatedCause;
    if (std::wstring cause = DocumentedAnswerCause(code); !cause.empty()) return cause;
    std::wstring text;
    try {
        TAdapterSource source(adapter, services);
        TWmiMethod described(nullptr);
        described.SetWmiObjectSource(&source);
        described.SetWmiMethodName(method);
        text = described.ResultDescription(static_cast<int>(code));
    } catch (const std::exception&) {
        // Without its description the answer is still told, by its number.
    }
    return text.empty() ? std::to_wstring(code) : text;
}

std::wstring RaisedCause(const std::exception& e) {
    const auto* error = dynamic_cast<const EComError*>(&e);
    if (error && error->Code() == static_cast<HRESULT>(WBEM_E_ACCESS_DENIED) && !ProcessElevated())
        return NotElevatedCause;
    return ExceptionMessage(e);
}

bool ProcessElevated() {
    if (ElevatedOverride()) return ElevatedOverride()();
    return TokenElevated(GetCurrentProcess());
}

bool TokenElevated(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return false;
    const ScopedHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated;
}

std::function<bool()> SetProcessElevatedFunction(std::function<bool()> f) {
    return std::exchange(ElevatedOverride(), std::move(f));
}

std::optional<uint32_t> AnswerCode(const VARIANT& answer) {
    ScopedVariant value;
    if (FAILED(VariantCopyInd(value.Ptr(), const_cast<VARIANT*>(&answer)))) return std::nullopt;
    const VARIANT& v = value.Get();
    // A uint32 above 2^31 (2147786788) held as text or as a wider number fits no int.
    ScopedVariant wide;
    if (v.vt != VT_I4 && ConvertVariant(v, VT_UI4, wide) == S_OK) return wide.Get().ulVal;
    int number = 0;
    if (VariantToInt(v, number) == S_OK) return static_cast<uint32_t>(number);
    return std::nullopt;
}

TSwitchResult WmiSwitchAdapter(IDispatch* services, const TSwitchTarget& adapter,
                               const TIpProfile& profile) {
    IDispatch* configuration = adapter.Configuration.Get();
    TAdapterCalls calls(services, configuration);
    if (profile.UsesDhcp()) {
        // EnableDHCP keeps static gateways: while the adapter is still static they are cleared
        // the documented way, with its own address as the gateway.
        const TAdapterState before = AdapterStateOf(configuration);
        // IPv4 gateways only: an IPv6 router the network announces is no static gateway.
        const std::vector<std::wstring> own = IPv4Entries(before.IPAddress);
        if (!before.DHCPEnabled && !IPv4Entries(before.DefaultIPGateway).empty() && !own.empty()) {
            ScopedVariant ownAddress = StringArray({own.front()});
            calls.Call(L"SetGateways", {RefTo(*ownAddress.Ptr())});
        }
        calls.Call(L"EnableDHCP");
    } else {
        ScopedVariant addresses = StringArray({profile.IPAddress});
        ScopedVariant masks = StringArray({AppliedMask(profile)});
        const uint32_t answer = calls.Call(
            L"EnableStatic", {RefTo(*addresses.Ptr()), RefTo(*masks.Ptr())}, kStaticAlready);
        // The gateway belongs to an address that was set; SetGateways needs a static adapter.
        if (answer == 0 || answer == 1 || answer == kStaticAlready) {
            // No gateway: the adapter's own address clears the old one.
            ScopedVariant gateways = StringArray(
                {profile.DefaultIPGateway.empty() ? profile.IPAddress : profile.DefaultIPGateway});
            calls.Call(L"SetGateways", {RefTo(*gateways.Ptr())});
        }
    }
    const std::vector<std::wstring> given = profile.DnsServers();
    if (profile.DNSEnabled || given.empty()) {
        // Not supplied: the adapter goes back to servers obtained automatically.
        const ScopedVariant automatic = ScopedVariant::NotSupplied();
        calls.Call(L"SetDNSServerSearchOrder", {automatic.Get()});
    } else {
        ScopedVariant servers = StringArray(given);
        calls.Call(L"SetDNSServerSearchOrder", {RefTo(*servers.Ptr())});
    }
    return calls.Result();
}
