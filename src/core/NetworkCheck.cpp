#include "core/NetworkCheck.h"

#include <algorithm>
#include <optional>

#include "core/ProfileCheck.h"

namespace {
// A lease Windows can use: APIPA's 169.254.x.y is what an adapter takes when no server answers,
// and GetAdaptersInfo says 0.0.0.0 for none.
bool Usable(const TDhcpLease& lease) {
    const std::optional<uint32_t> address = ParseIPv4(lease.Address);
    return address && *address != 0 && (*address >> 16) != 0xA9FE;
}

class TTries {
public:
    TTries(HANDLE cancel, DWORD limitMs, DWORD pauseMs)
        : FCancel(cancel), FTry(GetTickCount64()), FUntil(FTry + limitMs), FPauseMs(pauseMs) {}
    bool Cancelled() const { return FCancel && WaitForSingleObject(FCancel, 0) == WAIT_OBJECT_0; }
    // Pauses before the next try, less what the last one waited itself (an ARP request without
    // an answer has waited its timeout); false once the time is up or the question is cancelled.
    bool Next() {
        const ULONGLONG now = GetTickCount64();
        if (now >= FUntil || Cancelled()) return false;
        const ULONGLONG waited = now - FTry;
        const DWORD pause = static_cast<DWORD>(
            std::min<ULONGLONG>(waited < FPauseMs ? FPauseMs - waited : 0, FUntil - now));
        if (FCancel && WaitForSingleObject(FCancel, pause) == WAIT_OBJECT_0) return false;
        if (!FCancel) Sleep(pause);
        FTry = GetTickCount64();
        return FTry < FUntil;
    }

private:
    HANDLE FCancel;
    ULONGLONG FTry, FUntil;
    DWORD FPauseMs;
};

std::optional<std::wstring> AskGateway(INetworkProbe& probe, const std::wstring& adapterGuid,
                                       const std::wstring& gateway, TTries& tries) {
    if (!ParseIPv4(gateway)) return std::nullopt;
    do {
        if (tries.Cancelled()) return std::nullopt;
        if (auto mac = probe.GatewayHardwareAddress(adapterGuid, gateway)) {
            const std::wstring text = HardwareAddressText(*mac);
            if (!text.empty()) return text;
        }
    } while (tries.Next());
    return std::nullopt;
}

// Two networks behind one gateway address are common: where both hardware addresses are
// known they decide; else the DHCP server's address.
bool IsKnown(const TKnownNetwork& known, const TKnownNetwork& heard) {
    if (!known.GatewayMac.empty() && !heard.GatewayMac.empty())
        return known.GatewayMac == heard.GatewayMac;
    if (!known.DhcpServer.empty()) return known.DhcpServer == heard.DhcpServer;
    return known.GatewayMac.empty();
}
} // namespace

TNetworkQuestion NetworkQuestion(const std::wstring& profile, const std::wstring& adapterGuid) {
    const TIpProfile values = ReadProfile(profile);
    TNetworkQuestion question;
    question.Profile = profile;
    question.AdapterGuid = adapterGuid;
    question.Dhcp = values.UsesDhcp();
    if (!question.Dhcp) question.Gateway = values.DefaultIPGateway;
    question.Known = ReadKnownNetwork(profile);
    // Edited by hand or damaged: not learned, so the gateway's answer counts again.
    if (!ParseIPv4(question.Known.DhcpServer)) question.Known.DhcpServer.clear();
    return question;
}

TNetworkAnswer AskNetwork(INetworkProbe& probe, const TNetworkQuestion& question, HANDLE cancel,
                          const TProbeTimes& times) {
    TNetworkAnswer answer;
    if (!question.Dhcp) {
        TTries tries(cancel, times.GatewayMs, times.PauseMs);
        if (auto mac = AskGateway(probe, question.AdapterGuid, question.Gateway, tries)) {
            answer.Answered = true;
            answer.Heard.GatewayMac = *mac;
        }
    } else {
        TTries tries(cancel, times.LeaseMs, times.PauseMs);
        std::optional<TDhcpLease> lease;
        do {
            if (tries.Cancelled()) return {};
            lease = probe.Lease(question.AdapterGuid);
        } while (!(lease && Usable(*lease)) && tries.Next());
        if (lease && Usable(*lease)) {
            answer.Answered = true;
            if (ParseIPv4(lease->Server)) answer.Heard.DhcpServer = lease->Server;
            TTries gatewayTries(cancel, times.GatewayMs, times.PauseMs);
            answer.Heard.GatewayMac =
                AskGateway(probe, question.AdapterGuid, lease->Gateway, gatewayTries).value_or(L"");
        }
    }
    if (cancel && WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0) return {};
    answer.Same = answer.Answered && IsKnown(question.Known, answer.Heard);
    return answer;
}
