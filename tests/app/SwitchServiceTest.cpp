// The service's work against the simulated machine, on the test's thread as on the service's:
// switches asked through its pipe, the trays told of every change, and the cable moved.
#include <gtest/gtest.h>

#include <windows.h>

#include <future>

#include "app/SimulatedNetwork.h"
#include "core/ServicePipe.h"
#include "core/Settings.h"
#include "core/SwitchService.h"
#include "fakes/SimulatedWmi.h"
#include "support/DemoNetworks.h"
#include "support/Pumping.h"
#include "support/Seams.h"
#include "support/TempFolder.h"

namespace {

const wchar_t kWired[] = L"Intel(R) PRO/1000 MT Network Connection";

class SwitchService : private TWatchdog, public ::testing::Test {
protected:
    SwitchService() : TWatchdog(120) {
        sim.ResetBehaviour();
        UseDemoNetworks(sim, folder);
        service.AutoSwitch().SetClock([this] { return Now; });
        service.AutoSwitch().SetProbeTimes({400, 600, 50});
        EXPECT_TRUE(service.Start());
        EXPECT_TRUE(PumpUntil([&] { return service.State().NetworkWatched != 0; }));
    }
    ~SwitchService() override { OpenSettings(); }

    // A client's question, asked from a thread of its own while this one serves.
    std::future<std::optional<TServiceState>> AskLater(TServiceRequestKind kind,
                                                       DWORD timeoutMs = 20000) {
        return std::async(std::launch::async,
                          [this, kind, timeoutMs] { return AskService(kind, timeoutMs, Pipe); });
    }
    std::optional<TServiceState> Ask(TServiceRequestKind kind) {
        auto answer = AskLater(kind);
        EXPECT_TRUE(PumpUntil(
            [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            20000));
        return answer.get();
    }
    static bool Ready(const std::future<std::optional<TServiceState>>& f) {
        return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }
    // Waits until a client waiting for a change is there: its request has reached the server.
    void LetWaitersConnect() { PumpFor(300); }
    // The cable out and, two seconds awake later, into that network: what a tray waiting for
    // the next change is told.
    std::optional<TServiceState> MoveCableAndWait(const wchar_t* network) {
        auto waiting = AskLater(TServiceRequestKind::WaitForChange);
        LetWaitersConnect();
        EXPECT_TRUE(provider.MoveCable(kWired, false));
        PumpFor(200);
        Now += 2000;
        EXPECT_TRUE(provider.MoveCable(kWired, true, network));
        EXPECT_TRUE(PumpUntil([&] { return Ready(waiting); }, 20000));
        return waiting.get();
    }
    TSimAdapter& Wired() { return sim.Adapters().front(); }

    const std::wstring Pipe =
        L"\\\\.\\pipe\\TarnwickServiceTest-" + std::to_wstring(GetCurrentProcessId());
    TSimulatedWmi& sim = TSimulatedWmi::Install();
    TSimProvider& provider = *TSimProvider::Installed();
    const ScopedSeam<INetworkProbe*> network{&SetNetworkProbe, &SimulatedNetworkProbe()};
    TempFolder folder;
    uint64_t Now = 100000;
    TSwitchService service{Pipe};
};

TEST_F(SwitchService, AClientsSwitchIsAppliedRecordedAndToldToEveryWaitingTray) {
    auto waiting = AskLater(TServiceRequestKind::WaitForChange);
    LetWaitersConnect();
    const auto answer = Ask(TServiceRequestKind::SwitchToB);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->Code, 0);
    EXPECT_EQ(ServiceText(answer->ActiveProfile), L"B");
    EXPECT_EQ(answer->Change, uint16_t(TServiceChange::Switched));
    EXPECT_EQ(ActiveProfile(), L"B") << "NET written in the service's Config.ini";
    EXPECT_TRUE(Wired().DHCPEnabled);

    ASSERT_TRUE(PumpUntil([&] { return Ready(waiting); }));
    const auto told = waiting.get();
    ASSERT_TRUE(told);
    EXPECT_EQ(told->Kind, uint16_t(TServiceRequestKind::WaitForChange));
    EXPECT_EQ(told->Change, uint16_t(TServiceChange::Switched));
    EXPECT_EQ(told->ChangeCount, answer->ChangeCount) << "the same change";
    EXPECT_EQ(ServiceText(told->ActiveProfile), L"B");

    const auto state = Ask(TServiceRequestKind::State);
    ASSERT_TRUE(state);
    EXPECT_EQ(ServiceText(state->NameA), L"Inner");
    EXPECT_EQ(ServiceText(state->NameB), L"Outer");
    EXPECT_EQ(state->NetworkWatched, 1u);
    EXPECT_EQ(state->Change, uint16_t(TServiceChange::None));
}

TEST_F(SwitchService, AFailedSwitchIsToldWithItsCauseAndChangesNothingRecorded) {
    sim.SetResult(L"EnableDHCP", 66);
    const auto answer = Ask(TServiceRequestKind::SwitchToB);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->Code, 66);
    EXPECT_NE(ServiceText(answer->Cause), L"");
    EXPECT_EQ(ServiceText(answer->ActiveProfile), L"A");
    EXPECT_EQ(ActiveProfile(), L"A");
}

TEST_F(SwitchService, AClientThatStopsReadingDelaysNoSwitch) {
    // It asks to be told of the next change and never reads the answer, nor anything else.
    const ScopedHandle stuck(CreateFileW(Pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(stuck);
    const TServiceRequestBytes request = ServiceRequestBytesOf(TServiceRequestKind::WaitForChange);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(stuck.Get(), request.Bytes, sizeof request.Bytes, &written, nullptr));
    LetWaitersConnect();
    for (const auto kind : {TServiceRequestKind::SwitchToB, TServiceRequestKind::SwitchToA,
                            TServiceRequestKind::SwitchToB}) {
        const ULONGLONG start = GetTickCount64();
        const auto answer = Ask(kind);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->Code, 0);
        EXPECT_LT(GetTickCount64() - start, 5000u);
    }
    EXPECT_EQ(ActiveProfile(), L"B");
}

TEST_F(SwitchService, TheCableMovedIsSwitchedOnceForTheMachineAndTheTraysAreTold) {
    // The adapter in 内网 with its profile, as a switch leaves it; the network learned.
    const auto first = Ask(TServiceRequestKind::SwitchToA);
    ASSERT_TRUE(first && first->Code == 0);
    ASSERT_TRUE(PumpUntil([&] { return !service.AutoSwitch().Asking(); }, 10000));
    // Back into the same network: nothing switched, and the trays say so.
    auto told = MoveCableAndWait(L"内网");
    ASSERT_TRUE(told);
    EXPECT_EQ(told->Change, uint16_t(TServiceChange::Unchanged));
    EXPECT_EQ(ActiveProfile(), L"A");

    // Into the other network: one switch, told once the new network answered.
    told = MoveCableAndWait(L"外网");
    ASSERT_TRUE(told);
    EXPECT_EQ(told->Change, uint16_t(TServiceChange::AutoSwitched));
    EXPECT_EQ(ServiceText(told->ActiveProfile), L"B");
    EXPECT_EQ(ActiveProfile(), L"B");
    EXPECT_TRUE(Wired().DHCPEnabled);
}

} // namespace
