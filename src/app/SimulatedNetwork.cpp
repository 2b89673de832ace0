#include "app/SimulatedNetwork.h"

#include <windows.h>

#include "sim/SimProvider.h"

namespace {
class TSimulatedNetworkProbe : public INetworkProbe {
public:
    std::optional<std::wstring> GatewayHardwareAddress(const std::wstring& adapterGuid,
                                                       const std::wstring& gateway) override {
        TSimProvider* sim = TSimProvider::Installed();
        return sim ? sim->ResolveGateway(adapterGuid, gateway) : std::nullopt;
    }
    std::optional<TDhcpLease> Lease(const std::wstring& adapterGuid) override {
        TSimProvider* sim = TSimProvider::Installed();
        const auto lease = sim ? sim->CurrentLease(adapterGuid) : std::nullopt;
        if (!lease) return std::nullopt;
        return TDhcpLease{lease->Address, lease->Server, lease->Gateway};
    }
};
} // namespace

INetworkProbe& SimulatedNetworkProbe() {
    static TSimulatedNetworkProbe probe;
    return probe;
}

uint64_t SimulatedAwakeMs() {
    ULONGLONG time = 0;
    QueryUnbiasedInterruptTime(&time);
    const TSimProvider* sim = TSimProvider::Installed();
    return time / 10000 - (sim ? sim->AsleepMs() : 0);
}
