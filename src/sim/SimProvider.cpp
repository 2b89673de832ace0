#include "sim/SimProvider.h"

#include <algorithm>
#include <utility>

#include "framework/Strings.h"
#include "sim/SimClassFactory.h"
#include "sim/SimNetwork.h"
#include "sim/SimOwnerWindow.h"
#include "sim/SimRepository.h"

namespace {
TSimProvider* GInstalled = nullptr;

std::wstring ListText(const std::vector<std::wstring>& values) {
    std::wstring text = L"{";
    for (size_t i = 0; i < values.size(); ++i)
        text += (i ? L", " : L"") + values[i];
    return text + L"}";
}

std::wstring ArgumentText(const TSimArgument& a) {
    if (a.NotSupplied) return L"<not supplied>";
    if (!a.IsArray) return a.Values.empty() ? L"" : a.Values.front();
    return ListText(a.Values);
}

// How long another thread waits for the owner thread to read the adapters; it is only busy
// while a modal loop of its own does not dispatch.
constexpr DWORD kOwnerTimeoutMs = 5000;

const TSimAdapter* ByGuid(const std::vector<TSimAdapter>& adapters, const std::wstring& guid) {
    for (const TSimAdapter& a : adapters)
        if (!guid.empty() && a.Guid == guid) return &a;
    return nullptr;
}
} // namespace

TSimProvider::TSimProvider()
    : FRepository(std::make_shared<TSimRepository>()),
      FOwnerWindow(std::make_unique<TSimOwnerWindow>()) {
    FRepository->Owner = this;
    SetDefaultAdapters();
    FCookies = SimRegisterClassObjects(FRepository);
    SetApartmentSetup([weak = std::weak_ptr<TSimRepository>(FRepository)]() {
        std::function<void()> undo;
        if (const auto repository = weak.lock()) {
            try {
                undo = [cookies = SimRegisterClassObjects(repository)] {
                    SimRevokeClassObjects(cookies);
                };
            } catch (...) {
                // That apartment then reaches the system's WMI, as without the provider.
            }
        }
        return undo;
    });
}

TSimProvider::~TSimProvider() {
    FOwnerWindow.reset();
    SetApartmentSetup(nullptr);
    SimRevokeClassObjects(FCookies);
    // Objects still held by callers answer from now on without the provider's callbacks.
    FRepository->Owner = nullptr;
    FRepository->SetProbe(nullptr);
}

TSimProvider& TSimProvider::Install() {
    if (!GInstalled) GInstalled = new TSimProvider();
    return *GInstalled;
}

void TSimProvider::Uninstall() {
    delete std::exchange(GInstalled, nullptr);
}

TSimProvider* TSimProvider::Installed() {
    return GInstalled;
}

std::vector<TSimAdapter>& TSimProvider::Adapters() {
    return FRepository->Adapters;
}

void TSimProvider::SetDefaultAdapters() {
    FRepository->SetDefaultAdapters();
}

std::vector<TSimNetwork>& TSimProvider::Networks() {
    return FRepository->Networks;
}

void TSimProvider::SetDemoNetworks() {
    TSimNetwork internal;
    internal.Name = L"内网";
    internal.Gateway = L"10.20.30.1";
    internal.GatewayMac = L"00-1A-2B-10-20-01";
    TSimNetwork external;
    external.Name = L"外网";
    external.Gateway = external.DhcpServer = L"192.168.50.1";
    external.GatewayMac = L"00-1A-2B-50-00-01";
    external.LeaseAddress = L"192.168.50.100";
    external.Dns = {L"192.168.50.1"};
    FRepository->Networks = {internal, external};
    if (TSimAdapter* wired = FRepository->FindAdapter(1)) wired->Network = internal.Name;
}

bool TSimProvider::MoveCable(const std::wstring& instanceName, bool plug,
                             const std::wstring& network) {
    TSimRepository& r = *FRepository;
    if (!network.empty() && !SimFindNetwork(r.Networks, network)) return false;
    std::vector<TSimAdapter*> moved;
    for (TSimAdapter& a : r.Adapters)
        if (a.Description == instanceName) moved.push_back(&a);
    if (moved.empty()) return false;
    FOwnerWindow->Cancel(instanceName);
    DWORD leaseDelay = 0;
    bool awaitsLease = false;
    for (TSimAdapter* a : moved) {
        a->MediaConnected = plug;
        if (plug && !network.empty()) a->Network = network;
        // Windows takes the address of a DHCP interface away with its link, and asks its
        // network's server again when the link returns.
        SimDropLease(*a);
        if (plug && a->DHCPEnabled && !a->Network.empty()) {
            awaitsLease = true;
            const TSimNetwork* n = SimFindNetwork(r.Networks, a->Network);
            leaseDelay = n ? n->LeaseDelayMs : TSimNetwork{}.LeaseDelayMs;
        }
    }
    if (awaitsLease)
        FOwnerWindow->After(
            instanceName, leaseDelay,
            [this, instanceName, in = moved.front()->Network] { LeaseArrived(instanceName, in); });
    RaiseMediaEvent(plug, instanceName);
    if (OnAdapterChanged)
        for (const TSimAdapter* a : moved)
            OnAdapterChanged(*a);
    return true;
}

void TSimProvider::LeaseArrived(const std::wstring& instanceName, const std::wstring& network) {
    for (TSimAdapter& a : FRepository->Adapters) {
        // A lease given meanwhile (EnableDHCP while plugged in) stands.
        if (a.Description != instanceName || !a.MediaConnected || a.Network != network ||
            !a.DHCPEnabled || !a.IPAddress.empty())
            continue;
        SimObtainLease(a, FRepository->Networks);
        if (OnAdapterChanged) OnAdapterChanged(a);
    }
}

void TSimProvider::SetArpTimeout(DWORD milliseconds) {
    FRepository->ArpTimeoutMs = milliseconds;
}

std::optional<std::wstring> TSimProvider::ResolveGateway(const std::wstring& adapterGuid,
                                                         const std::wstring& gateway) {
    std::optional<std::wstring> answer;
    TSimRepository* r = FRepository.get();
    DWORD takes = r->ArpTimeoutMs;
    FOwnerWindow->RunOnOwner(
        [&] {
            const TSimAdapter* a = ByGuid(r->Adapters, adapterGuid);
            if (const TSimNetwork* n = a ? SimArpAnswerer(*a, r->Networks, gateway) : nullptr) {
                answer = n->GatewayMac;
                takes = n->ArpDelayMs;
            }
        },
        kOwnerTimeoutMs);
    // The provider may be gone by now: only what this call holds.
    Sleep(takes);
    return answer;
}

std::optional<TSimProvider::TSimLease> TSimProvider::CurrentLease(const std::wstring& adapterGuid) {
    std::optional<TSimLease> lease;
    TSimRepository* r = FRepository.get();
    FOwnerWindow->RunOnOwner(
        [&] {
            const TSimAdapter* a = ByGuid(r->Adapters, adapterGuid);
            if (!a || !a->IPEnabled || !a->DHCPEnabled || !a->MediaConnected ||
                a->IPAddress.empty() || a->DHCPServer.empty() ||
                SimIsAutomaticPrivate(a->IPAddress.front()))
                return;
            // The lease's gateway is the one EnableDHCP did not keep from the static settings.
            std::wstring leased;
            for (const std::wstring& g : a->DefaultIPGateway)
                if (std::find(a->KeptStaticGateways.begin(), a->KeptStaticGateways.end(), g) ==
                    a->KeptStaticGateways.end())
                    leased = g;
            lease = TSimLease{a->IPAddress.front(), a->DHCPServer, leased};
        },
        kOwnerTimeoutMs);
    return lease;
}

void TSimProvider::Suspend() {
    TSimRepository& r = *FRepository;
    {
        std::lock_guard guard(r.SleepLock);
        if (r.Asleep) return;
        r.Asleep = true;
        r.AsleepSince = GetTickCount64();
    }
    r.AsleepAdapters.clear();
    for (const TSimAdapter& a : r.Adapters)
        if (a.MediaConnected && std::find(r.AsleepAdapters.begin(), r.AsleepAdapters.end(),
                                          a.Description) == r.AsleepAdapters.end())
            r.AsleepAdapters.push_back(a.Description);
    for (const std::wstring& name : r.AsleepAdapters)
        MoveCable(name, false);
}

void TSimProvider::Resume() {
    TSimRepository& r = *FRepository;
    {
        std::lock_guard guard(r.SleepLock);
        if (!r.Asleep) return;
        r.Asleep = false;
        r.AsleepTotal += GetTickCount64() - r.AsleepSince;
    }
    for (const std::wstring& name : std::exchange(r.AsleepAdapters, {}))
        MoveCable(name, true);
}

ULONGLONG TSimProvider::AsleepMs() const {
    const TSimRepository& r = *FRepository;
    std::lock_guard guard(r.SleepLock);
    return r.AsleepTotal + (r.Asleep ? GetTickCount64() - r.AsleepSince : 0);
}

DWORD TSimProvider::Delay() const {
    return FRepository->Delay;
}

void TSimProvider::SetDelay(DWORD milliseconds) {
    FRepository->Delay = milliseconds;
}

void TSimProvider::SetAnswer(std::optional<uint32_t> code) {
    FRepository->Answer = code;
}

void TSimProvider::RaiseMediaEvent(bool connected, const std::wstring& instanceName) {
    FRepository->RaiseMediaEvent(
        connected ? L"MSNdis_StatusMediaConnect" : L"MSNdis_StatusMediaDisconnect", instanceName);
}

void TSimProvider::SetProbe(ISimProbe* probe) {
    FRepository->SetProbe(probe);
}

std::wstring TSimProvider::Describe(const TSimCall& call) {
    std::wstring line =
        L"adapter " + std::to_wstring(call.AdapterIndex) + L" " + call.Method + L"(";
    for (size_t i = 0; i < call.Args.size(); ++i)
        line += (i ? L", " : L"") + ArgumentText(call.Args[i]);
    line += L")";
    if (call.Raised)
        return line + L" raised 0x" + HexDigits(static_cast<unsigned long>(call.Error), 8);
    return line + L" = " + std::to_wstring(call.Result);
}

std::wstring TSimProvider::DescribeState(const TSimAdapter& a) {
    return L"  now: adapter " + std::to_wstring(a.Index) + L" DHCP " +
           (a.DHCPEnabled ? L"on" : L"off") + L", address " + ListText(a.IPAddress) + L"/" +
           ListText(a.IPSubnet) + L", gateways " + ListText(a.DefaultIPGateway) + L", DNS " +
           ListText(a.DNSServerSearchOrder);
}
