#include "SimulatedWmi.h"

#include <objbase.h>

#include "SimObjects.h"
#include "framework/Automation.h"
#include "framework/Strings.h"

namespace {
constexpr GUID ClsidMoniker = {
    0x172bddf8, 0xceea, 0x11d1, {0x8b, 0x05, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};
constexpr GUID ClsidLocator = {
    0x76a64158, 0xcb41, 0x11d1, {0x8b, 0x02, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};
constexpr GUID ClsidNamedValueSet = {
    0x9aed384e, 0xce8b, 0x11d1, {0x8b, 0x05, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};

TSimulatedWmi* GInstalled = nullptr;

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

// "winmgmts:[{security}[!]][\\server\namespace[:path] | namespace[:path] | path]"
ComPtr<TSimDispatch> BindMoniker(const std::shared_ptr<TSimRepository>& repository,
                                 const std::wstring& text) {
    if (FAILED(repository->ServiceError)) throw TSimError{repository->ServiceError};
    if (!StartsWith(text, L"winmgmts:")) throw TSimError{MK_E_SYNTAX};
    std::wstring rest = text.substr(9);
    if (!rest.empty() && rest[0] == L'{') {
        const size_t close = rest.find(L'}');
        if (close == std::wstring::npos) throw TSimError{MK_E_SYNTAX};
        rest = rest.substr(close + 1);
        if (!rest.empty() && rest[0] == L'!') rest = rest.substr(1);
    }
    std::wstring server = L".";
    if (rest.rfind(L"\\\\", 0) == 0 || rest.rfind(L"//", 0) == 0) {
        const size_t end = rest.find_first_of(L"\\/", 2);
        server = rest.substr(2, end == std::wstring::npos ? std::wstring::npos : end - 2);
        rest = end == std::wstring::npos ? L"" : rest.substr(end + 1);
    }
    std::wstring nameSpace, path;
    const size_t colon = rest.find(L':');
    if (colon != std::wstring::npos) {
        nameSpace = rest.substr(0, colon);
        path = rest.substr(colon + 1);
    } else if (StartsWith(rest, L"root")) {
        nameSpace = rest;
    } else {
        path = rest;
    }
    if (!SimIsLocalServer(server)) throw TSimError{HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)};
    nameSpace = SimNamespace(nameSpace);
    if (nameSpace.empty()) throw SimError(WBEM_E_INVALID_NAMESPACE);
    if (!path.empty()) return SimGetObject(repository, nameSpace, path, 0);
    return MakeSimServices(repository, nameSpace);
}

// The class object of one registration. The moniker's also parses display names: COM asks it
// for IParseDisplayName when a "winmgmts:" name is parsed.
class TSimClassFactory : public IClassFactory, public IParseDisplayName {
public:
    enum TKind { Moniker, Locator, NamedValueSet };
    TSimClassFactory(std::shared_ptr<TSimRepository> repository, TKind kind)
        : FRepository(std::move(repository)), FKind(kind) {}
    virtual ~TSimClassFactory() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IClassFactory)
            *object = static_cast<IClassFactory*>(this);
        else if (iid == IID_IParseDisplayName && FKind == Moniker)
            *object = static_cast<IParseDisplayName*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++FRefs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG refs = --FRefs;
        if (refs == 0) delete this;
        return refs;
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        ComPtr<TSimDispatch> created = FKind == Locator ? MakeSimLocator(FRepository)
                                       : FKind == NamedValueSet
                                           ? MakeSimNamedValueSet()
                                           : MakeSimServices(FRepository, L"root\\cimv2");
        return created->QueryInterface(iid, object);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR name, ULONG* eaten,
                                  IMoniker** moniker) override {
        if (!name || !eaten || !moniker) return E_POINTER;
        *eaten = 0;
        *moniker = nullptr;
        const std::wstring text = name;
        // Parsing is the step of every bind that reaches the provider; the moniker answers the
        // object it wraps from then on.
        FRepository->MonikerBinds++;
        FRepository->MonikerNames.push_back(text);
        try {
            ComPtr<TSimDispatch> object = BindMoniker(FRepository, text);
            const HRESULT hr = CreatePointerMoniker(static_cast<IDispatch*>(object.Get()), moniker);
            if (SUCCEEDED(hr)) *eaten = static_cast<ULONG>(text.size());
            return hr;
        } catch (const TSimError& e) {
            return e.Code;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

private:
    ULONG FRefs = 0;
    std::shared_ptr<TSimRepository> FRepository;
    TKind FKind;
};

std::wstring ArgumentText(const TSimArgument& a) {
    if (a.NotSupplied) return L"<not supplied>";
    if (!a.IsArray) return a.Values.empty() ? L"" : a.Values.front();
    std::wstring text = L"{";
    for (size_t i = 0; i < a.Values.size(); ++i)
        text += (i ? L", " : L"") + a.Values[i];
    return text + L"}";
}

TSimAdapter DefaultAdapter(int index) {
    TSimAdapter a;
    a.Index = index;
    if (index == 1) {
        a.Description = L"Intel(R) PRO/1000 MT Network Connection";
        a.MACAddress = L"00:0C:29:4F:8E:35";
        a.NetConnectionID = L"本地连接";
        a.IPAddress = {L"192.168.1.20"};
        a.IPSubnet = {L"255.255.255.0"};
        a.DefaultIPGateway = {L"192.168.1.1"};
        a.GatewayCostMetric = {1};
        a.DNSServerSearchOrder = {L"192.168.1.1", L"192.168.1.2"};
    } else {
        a.Description = L"Realtek RTL8139 Family PCI Fast Ethernet NIC";
        a.MACAddress = L"00:E0:4C:68:1A:2B";
        a.NetConnectionID = L"本地连接 2";
        a.Speed = 100000000;
        a.DHCPEnabled = true;
        a.IPAddress = {L"192.168.8.100"};
        a.IPSubnet = {L"255.255.255.0"};
        a.DefaultIPGateway = {L"192.168.8.1"};
        a.GatewayCostMetric = {0};
        a.DHCPServer = L"192.168.8.1";
        a.DHCPLeaseObtained = L"20261201083000.000000+480";
        a.DNSServerSearchOrder = {L"192.168.8.1"};
    }
    return a;
}
} // namespace

TSimulatedWmi::TSimulatedWmi() : FRepository(std::make_shared<TSimRepository>()) {
    FRepository->Owner = this;
    SetDefaultAdapters();
}

TSimulatedWmi::~TSimulatedWmi() {
    for (DWORD cookie : FCookies)
        CoRevokeClassObject(cookie);
    FRepository->Owner = nullptr;
}

TSimulatedWmi& TSimulatedWmi::Install() {
    if (GInstalled) return *GInstalled;
    auto wmi = std::unique_ptr<TSimulatedWmi>(new TSimulatedWmi());
    const std::pair<GUID, TSimClassFactory::TKind> classes[] = {
        {ClsidMoniker, TSimClassFactory::Moniker},
        {ClsidLocator, TSimClassFactory::Locator},
        {ClsidNamedValueSet, TSimClassFactory::NamedValueSet},
    };
    for (const auto& [clsid, kind] : classes) {
        ComPtr<IClassFactory> factory(new TSimClassFactory(wmi->FRepository, kind));
        DWORD cookie = 0;
        ComCheck(CoRegisterClassObject(clsid, factory.Get(), CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie));
        wmi->FCookies.push_back(cookie);
    }
    GInstalled = wmi.release();
    return *GInstalled;
}

void TSimulatedWmi::Uninstall() {
    delete std::exchange(GInstalled, nullptr);
}

TSimulatedWmi* TSimulatedWmi::Installed() {
    return GInstalled;
}

std::vector<TSimAdapter>& TSimulatedWmi::Adapters() {
    return FRepository->Adapters;
}

void TSimulatedWmi::SetDefaultAdapters() {
    FRepository->Adapters = {DefaultAdapter(1), DefaultAdapter(8)};
}

void TSimulatedWmi::SetResult(const std::wstring& method, long code, int adapterIndex) {
    FRepository->SetOutcome({method, adapterIndex, false, code});
}

void TSimulatedWmi::SetRaise(const std::wstring& method, HRESULT error, int adapterIndex) {
    FRepository->SetOutcome({method, adapterIndex, true, error});
}

void TSimulatedWmi::SetDelay(DWORD milliseconds) {
    FRepository->Delay = milliseconds;
}

void TSimulatedWmi::SetServiceError(HRESULT error) {
    FRepository->ServiceError = error;
}

void TSimulatedWmi::ResetBehaviour() {
    FRepository->Outcomes.clear();
    FRepository->Delay = 0;
    FRepository->ServiceError = S_OK;
}

void TSimulatedWmi::AddClass(const std::wstring& name,
                             const std::vector<TSimPropertyDef>& properties) {
    if (IsAdapterClass(name)) throw Exception(L"The adapter classes cannot be replaced: " + name);
    auto cls = std::make_shared<TSimClassDef>(TSimClassDef{name, L"", properties, {}});
    std::erase_if(FRepository->AddedClasses, [&](const TSimRepository::TAddedClass& c) {
        return SameName(c.Class->Name, name);
    });
    FRepository->AddedClasses.push_back({std::move(cls), {}});
}

void TSimulatedWmi::AddInstance(const std::wstring& className, const std::vector<VARIANT>& values) {
    for (TSimRepository::TAddedClass& added : FRepository->AddedClasses) {
        if (!SameName(added.Class->Name, className)) continue;
        if (values.size() != added.Class->Properties.size())
            throw Exception(L"One value per property is needed for " + className);
        std::vector<ScopedVariant> copies;
        for (const VARIANT& v : values)
            copies.push_back(ScopedVariant::Copy(v));
        added.Instances.push_back(std::move(copies));
        return;
    }
    throw Exception(L"No class added by that name: " + className);
}

void TSimulatedWmi::RemoveAddedClasses() {
    FRepository->AddedClasses.clear();
}

const std::vector<TSimCall>& TSimulatedWmi::Calls() const {
    return FRepository->Calls;
}

void TSimulatedWmi::ClearCalls() {
    TSimRepository& r = *FRepository;
    r.Calls.clear();
    r.Queries.clear();
    r.QueryDetails.clear();
    r.MonikerBinds = 0;
    r.MonikerNames.clear();
    r.Connects.clear();
    r.Gets.clear();
    r.ImpersonationLevel = 0;
    r.Privileges.clear();
    r.NotificationQueries.clear();
}

const std::vector<std::wstring>& TSimulatedWmi::Queries() const {
    return FRepository->Queries;
}

const std::vector<TSimQuery>& TSimulatedWmi::QueryDetails() const {
    return FRepository->QueryDetails;
}

int TSimulatedWmi::MonikerBinds() const {
    return FRepository->MonikerBinds;
}

const std::vector<std::wstring>& TSimulatedWmi::MonikerNames() const {
    return FRepository->MonikerNames;
}

const std::vector<TSimConnect>& TSimulatedWmi::Connects() const {
    return FRepository->Connects;
}

const std::vector<TSimGet>& TSimulatedWmi::Gets() const {
    return FRepository->Gets;
}

int TSimulatedWmi::ImpersonationLevel() const {
    return FRepository->ImpersonationLevel;
}

const std::vector<TSimPrivilege>& TSimulatedWmi::Privileges() const {
    return FRepository->Privileges;
}

const std::vector<TSimQuery>& TSimulatedWmi::NotificationQueries() const {
    return FRepository->NotificationQueries;
}

void TSimulatedWmi::RaiseMediaEvent(bool connected, const std::wstring& instanceName) {
    const std::wstring className =
        connected ? L"MSNdis_StatusMediaConnect" : L"MSNdis_StatusMediaDisconnect";
    std::lock_guard guard(FRepository->EventLock);
    std::erase_if(FRepository->EventQueues, [](const auto& q) { return q.expired(); });
    for (const std::weak_ptr<TSimEventQueue>& weak : FRepository->EventQueues) {
        std::shared_ptr<TSimEventQueue> queue = weak.lock();
        if (!queue || queue->ClassName != className) continue;
        {
            std::lock_guard queued(queue->Lock);
            queue->InstanceNames.push_back(instanceName);
        }
        queue->Ready.notify_all();
    }
}

std::wstring TSimulatedWmi::Describe(const TSimCall& call) {
    std::wstring line =
        L"adapter " + std::to_wstring(call.AdapterIndex) + L" " + call.Method + L"(";
    for (size_t i = 0; i < call.Args.size(); ++i)
        line += (i ? L", " : L"") + ArgumentText(call.Args[i]);
    line += L")";
    if (call.Raised)
        return line + L" raised 0x" + HexDigits(static_cast<unsigned long>(call.Error), 8);
    return line + L" = " + std::to_wstring(call.Result);
}
