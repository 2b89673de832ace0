#include "wmi/WmiComponent.h"

#include <objbase.h>

#include "framework/Application.h"
#include "wbem/WbemScripting.h"
#include "wmi/WmiAutomation.h"

void InitComSecurity() {
    thread_local bool done = false;
    if (done) return;
    done = true;
    // The apartment stays for the thread's life; a failure shows at the first WMI call.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

void ChainComSecurityIntoStartup() {
    Application().ChainStartup(&InitComSecurity);
}

namespace {
const int kImpersonate = 3;

Microsoft::WRL::ComPtr<IDispatch> CreateObject(const CLSID& clsid) {
    Microsoft::WRL::ComPtr<IDispatch> object;
    WmiCheck(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));
    return object;
}

// The named values of name=value lines, in order; nullptr without lines.
Microsoft::WRL::ComPtr<IDispatch> ContextOf(const std::vector<std::wstring>& options) {
    if (options.empty()) return nullptr;
    Microsoft::WRL::ComPtr<IDispatch> context = CreateObject(kClsidSWbemNamedValueSet);
    for (const auto& line : options) {
        const size_t equals = line.find(L'=');
        ScopedVariant name(line.substr(0, equals));
        ScopedVariant value(equals == std::wstring::npos ? std::wstring()
                                                         : line.substr(equals + 1));
        WmiCall(context.Get(), L"Add", {name.Get(), value.Get(), ScopedVariant(0).Get()});
    }
    return context;
}
} // namespace

TWmiAbstract::TWmiAbstract(TComponent* owner) : TComponent(owner) {
    FCredentials.OnChange = [this] { SettingChanged(); };
}

TWmiAbstract::~TWmiAbstract() = default;

void TWmiAbstract::SetActive(bool active) {
    if (Loading()) {
        FStreamedActive = active;
        return;
    }
    if (active == Active()) return;
    if (active) {
        Connect();
        if (OnAfterActivate) OnAfterActivate(this);
    } else {
        FServices.Reset();
        if (OnAfterDeactivate) OnAfterDeactivate(this);
    }
}

Microsoft::WRL::ComPtr<IDispatch> WmiConnectServer(const std::wstring& machine,
                                                   const std::wstring& nameSpace,
                                                   const TWmiCredentials& credentials) {
    Microsoft::WRL::ComPtr<IDispatch> locator = CreateObject(kClsidSWbemLocator);
    Microsoft::WRL::ComPtr<IDispatch> context = ContextOf(credentials.Options());
    ScopedVariant server(machine), space(nameSpace), user(credentials.UserName()),
        password(credentials.Password()), locale(credentials.Locale()),
        authority(credentials.Authority()), flags(0);
    ScopedVariant services;
    if (context) {
        ScopedVariant contextArg;
        contextArg.SetDispatch(context.Get());
        services = WmiCall(locator.Get(), L"ConnectServer",
                           {server.Get(), space.Get(), user.Get(), password.Get(), locale.Get(),
                            authority.Get(), flags.Get(), contextArg.Get()});
    } else {
        services = WmiCall(locator.Get(), L"ConnectServer",
                           {server.Get(), space.Get(), user.Get(), password.Get(), locale.Get(),
                            authority.Get(), flags.Get()});
    }
    Microsoft::WRL::ComPtr<IDispatch> connected = WmiObject(services);
    if (!connected) WmiCheck(E_NOINTERFACE);
    Microsoft::WRL::ComPtr<IDispatch> security = WmiObject(WmiGet(connected.Get(), L"Security_"));
    WmiSet(security.Get(), L"ImpersonationLevel", ScopedVariant(kImpersonate).Get());
    return connected;
}

void TWmiAbstract::Connect() {
    InitComSecurity();
    FServices = WmiConnectServer(FMachineName, FNameSpace, FCredentials);
}

void TWmiAbstract::SetMachineName(const std::wstring& name) {
    if (name == FMachineName) return;
    FMachineName = name;
    SettingChanged();
}

void TWmiAbstract::SetNameSpace(const std::wstring& nameSpace) {
    if (nameSpace == FNameSpace) return;
    FNameSpace = nameSpace;
    SettingChanged();
}

void TWmiAbstract::SettingChanged() {
    // While loading nothing is connected yet, and an Active value read before this setting
    // must survive it. Otherwise the connection is not opened again: the next activation
    // uses the new settings.
    if (Loading()) return;
    SetActive(false);
    SettingsChanged();
}

void TWmiAbstract::Loaded() {
    TComponent::Loaded();
    if (FStreamedActive) SetActive(*std::exchange(FStreamedActive, std::nullopt));
}

// ---------------------------------------------------------------------------------------------

namespace {
std::wstring ComputerNameOf(COMPUTER_NAME_FORMAT format) {
    DWORD size = 0;
    GetComputerNameExW(format, nullptr, &size);
    std::wstring name(size, L'\0');
    if (!GetComputerNameExW(format, name.data(), &size)) return {};
    name.resize(size);
    return name;
}
} // namespace

std::wstring TAdsSystemInfo::UserName() const {
    wchar_t name[256 + 1];
    DWORD size = ARRAYSIZE(name);
    return GetUserNameW(name, &size) ? std::wstring(name) : std::wstring();
}

std::wstring TAdsSystemInfo::ComputerName() const {
    return ComputerNameOf(ComputerNameNetBIOS);
}

std::wstring TAdsSystemInfo::DomainName() const {
    return ComputerNameOf(ComputerNameDnsDomain);
}

// ---------------------------------------------------------------------------------------------

TWmiComponent::TWmiComponent(TComponent* owner) : TWmiAbstract(owner), FTimer(Own<TTimer>()) {
    FTimer->OnTimer = [this](TComponent*) { Poll(); };
    // Idle until activated with something to poll: a tick that polls nothing only wakes the
    // process.
    FTimer->SetEnabled(false);
    SetPoolingInterval(50);
}

TWmiComponent::~TWmiComponent() {
    FPollList.clear();
}

void TWmiComponent::SetActive(bool active) {
    if (active == Active()) return;
    TWmiAbstract::SetActive(active);
    if (Loading()) return;
    if (active) {
        RestartPolling();
        ArmPolling();
    } else {
        FTimer->SetEnabled(false);
        FPollList.clear();
    }
}

int TWmiComponent::PoolingInterval() const {
    return static_cast<int>(FTimer->Interval()) * 2 / 100;
}

void TWmiComponent::SetPoolingInterval(int interval) {
    const auto milliseconds = static_cast<unsigned>(interval * 100 / 2);
    if (milliseconds == FTimer->Interval()) return;
    FTimer->SetInterval(milliseconds);
    if (Active()) {
        FPollList.clear();
        RestartPolling();
    }
}

void TWmiComponent::AddPollSubscription(TWmiPollSubscription subscription) {
    FPollList.push_back(std::move(subscription));
    ArmPolling();
}

void TWmiComponent::ArmPolling() {
    FTimer->SetEnabled(Active() && !Loading() && (!FPollList.empty() || OnPoll));
}

void TWmiComponent::Poll() {
    if (OnPoll) OnPoll(this);
    // A routine may change the list; walk a copy.
    const std::vector<TWmiPollSubscription> subscriptions = FPollList;
    for (const auto& subscription : subscriptions) {
        ScopedVariant event;
        try {
            event = CallMethod(subscription.EventSource.Get(), L"NextEvent",
                               {ScopedVariant(NextEventWaitMs).Get()});
        } catch (const EComError& e) {
            if (e.Code() == kWbemErrTimedOut) continue;
            WmiCheck(e.Code() ? e.Code() : E_FAIL);
            throw;
        }
        Microsoft::WRL::ComPtr<IDispatch> object = WmiObject(event);
        if (object && subscription.OnEvent) subscription.OnEvent(object.Get());
    }
}
