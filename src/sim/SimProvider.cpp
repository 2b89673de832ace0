#include "sim/SimProvider.h"

#include <utility>

#include "framework/Strings.h"
#include "sim/SimClassFactory.h"
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
} // namespace

TSimProvider::TSimProvider() : FRepository(std::make_shared<TSimRepository>()) {
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
