// The system events watcher against the simulated provider's media events.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
// After windows.h, which it needs.
#include <wbemcli.h>

#include "SimulatedWmiFixture.h"
#include "framework/StartFigures.h"
#include "sim/SimDispatch.h"
#include "support/ObjectCounts.h"
#include "support/Pumping.h"
#include "wmi/WmiException.h"
#include "wmi/WmiSystemEvents.h"

namespace {
const wchar_t kIntel[] = L"Intel(R) PRO/1000 MT Network Connection";
const wchar_t kRealtek[] = L"Realtek RTL8139 Family PCI Fast Ethernet NIC";

// The watchdog is the first base, so it also guards the base fixture's teardown, where the
// watcher and its workers go.
class SystemEvents : private TWatchdog, public SimulatedWmiTest {
protected:
    SystemEvents() : TWatchdog(90) {
        Watcher->SetPoolingInterval(10);
        Watcher->SetOnNetworkConnect([this](TComponent* sender, const std::wstring&) {
            EXPECT_EQ(sender, Watcher);
            EXPECT_EQ(GetCurrentThreadId(), UiThread);
            ++Connects;
        });
        Watcher->SetOnNetworkDisconnect(
            [this](TComponent*, const std::wstring&) { ++Disconnects; });
    }
    ~SystemEvents() override { Watcher = nullptr; }

    const DWORD UiThread = GetCurrentThreadId();
    TWmiSystemEvents* Watcher = Owner.Own<TWmiSystemEvents>();
    int Connects = 0, Disconnects = 0;
};

TEST_F(SystemEvents, NetworkPairRunsOnOneSharedConnectionAndStartsOnce) {
    Watcher->SetActive(true);
    Watcher->SetActive(true); // runs the update again: nothing is running twice
    ASSERT_EQ(2u, Wmi.NotificationQueries().size());
    EXPECT_EQ(L"select * from MSNdis_StatusMediaConnect", Wmi.NotificationQueries()[0].Text);
    EXPECT_EQ(L"select * from MSNdis_StatusMediaDisconnect", Wmi.NotificationQueries()[1].Text);
    EXPECT_EQ(48, Wmi.NotificationQueries()[0].Flags);
    EXPECT_EQ(1u, Watcher->NamespaceConnectionCount());
    TWmiAbstract* connection = Watcher->GetNamespaceConnection(L"root\\WMI");
    EXPECT_EQ(connection, Watcher->GetNamespaceConnection(L"ROOT\\wmi"));
    EXPECT_EQ(L"Connection0", connection->Name());
    EXPECT_EQ(L"ROOT\\WMI", connection->NameSpace());
    EXPECT_TRUE(connection->Active());
    for (const auto& registration : Watcher->Registrations())
        EXPECT_TRUE(TWmiSystemEvents::Running(*registration));

    Watcher->SetActive(false);
    EXPECT_FALSE(connection->Active());
    for (const auto& registration : Watcher->Registrations())
        EXPECT_FALSE(registration->Worker);
}

TEST_F(SystemEvents, ConnectionsTakeTheWatchersCredentialsButNotItsChangeHandler) {
    Watcher->Credentials().SetLocale(L"MS_409");
    // The first start makes the connection, the second refreshes it from the watcher.
    for (int start = 0; start < 2; ++start) {
        Watcher->SetActive(false);
        Watcher->SetActive(true);
        TWmiAbstract* connection = Watcher->GetNamespaceConnection(L"root\\WMI");
        EXPECT_EQ(L"MS_409", connection->Credentials().Locale());
        connection->Credentials().SetUserName(L"other");
        EXPECT_TRUE(Watcher->Active()) << "start " << start;
        connection->Credentials().SetUserName(L"");
    }
    Wmi.RaiseMediaEvent(true, kIntel);
    EXPECT_TRUE(PumpUntil([&] { return Connects == 1; }));
}

TEST_F(SystemEvents, EachMediaEventCallsItsHandlerOnceWhicheverAdapterAndNamesIt) {
    std::vector<std::wstring> names;
    Watcher->SetOnNetworkConnect([&](TComponent*, const std::wstring& adapter) {
        ++Connects;
        names.push_back(adapter);
    });
    Watcher->SetActive(true);
    Wmi.RaiseMediaEvent(false, kIntel);
    ASSERT_TRUE(PumpUntil([&] { return Disconnects == 1; }));
    Wmi.RaiseMediaEvent(true, kIntel);
    Wmi.RaiseMediaEvent(true, kRealtek);
    ASSERT_TRUE(PumpUntil([&] { return Connects == 2; }));
    PumpFor(300);
    EXPECT_EQ(2, Connects);
    EXPECT_EQ(1, Disconnects);
    EXPECT_EQ(names, (std::vector<std::wstring>{kIntel, kRealtek}));
}

TEST_F(SystemEvents, RaisingHandlerDoesNotStopLaterEvents) {
    Watcher->SetOnNetworkConnect(nullptr);
    Watcher->SetOnNetworkConnect([this](TComponent*, const std::wstring&) {
        ++Connects;
        throw TWmiException(L"unreachable", E_FAIL);
    });
    Watcher->SetActive(true);
    Wmi.RaiseMediaEvent(true, kIntel);
    ASSERT_TRUE(PumpUntil([&] { return Connects == 1; }));
    Wmi.RaiseMediaEvent(true, kIntel);
    EXPECT_TRUE(PumpUntil([&] { return Connects == 2; }));
}

TEST_F(SystemEvents, AssigningWhileActiveStartsAtOnceAndClearingRemovesOnlyThatOne) {
    Watcher->SetOnNetworkConnect(nullptr);
    Watcher->SetActive(true);
    ASSERT_EQ(1u, Watcher->Registrations().size());
    Watcher->SetOnNetworkConnect([this](TComponent*, const std::wstring&) { ++Connects; });
    ASSERT_EQ(2u, Watcher->Registrations().size());
    EXPECT_TRUE(TWmiSystemEvents::Running(*Watcher->Registrations()[1]));
    Wmi.RaiseMediaEvent(true, kIntel);
    ASSERT_TRUE(PumpUntil([&] { return Connects == 1; }));

    Watcher->SetOnNetworkConnect(nullptr);
    ASSERT_EQ(1u, Watcher->Registrations().size());
    EXPECT_EQ(L"select * from MSNdis_StatusMediaDisconnect", Watcher->Registrations()[0]->Query);
    Wmi.RaiseMediaEvent(true, kIntel);
    Wmi.RaiseMediaEvent(false, kIntel);
    ASSERT_TRUE(PumpUntil([&] { return Disconnects == 1; }));
    EXPECT_EQ(1, Connects);
}

TEST_F(SystemEvents, MissingClassSkipsSilentlyAndClearingRemovesOnlyThatRegistration) {
    Watcher->SetActive(true);
    int printers = 0;
    EXPECT_NO_THROW(Watcher->SetOnPrinter(
        [&](TComponent*, const VARIANT&, const std::wstring&, TWmiEventAction) { ++printers; }));
    ASSERT_EQ(3u, Watcher->Registrations().size());
    EXPECT_FALSE(Watcher->Registrations()[2]->Worker);
    ASSERT_FALSE(Wmi.Gets().empty());
    EXPECT_EQ(L"Win32_Printer", Wmi.Gets().back().Path);
    EXPECT_EQ(2u, Wmi.NotificationQueries().size());

    Watcher->SetOnPrinter(nullptr);
    ASSERT_EQ(2u, Watcher->Registrations().size());
    for (const auto& registration : Watcher->Registrations())
        EXPECT_TRUE(TWmiSystemEvents::Running(*registration));
}

TEST(WmiEventQueryText, IntervalInSecondsIsAtLeastOneAndNetworkQueriesStayAsTheyAre) {
    const std::wstring printer = EventKindInfo(TWmiEventKind::Printer).Query;
    const std::wstring expected = L"select * from __InstanceOperationEvent within %s where "
                                  L"TargetInstance isa \"Win32_Printer\"";
    const auto with = [&](const wchar_t* seconds) {
        std::wstring text = expected;
        return text.replace(text.find(L"%s"), 2, seconds);
    };
    EXPECT_EQ(with(L"1"), WmiEventQueryText(printer, 10));
    EXPECT_EQ(with(L"1"), WmiEventQueryText(printer, 5));
    EXPECT_EQ(with(L"5"), WmiEventQueryText(printer, 50));
    EXPECT_EQ(with(L"1"), WmiEventQueryText(printer, 0));
    const std::wstring connect = EventKindInfo(TWmiEventKind::NetworkConnect).Query;
    EXPECT_EQ(connect, WmiEventQueryText(connect, 50));
    EXPECT_EQ(L"select * from MSNdis_StatusMediaConnect", connect);
    // A caller's own query is no format: a pattern's "%s" stays as it is.
    EXPECT_EQ(WmiEventQueryText(L"select * from X within %d where Name like '%s%'", 20),
              L"select * from X within 2 where Name like '%s%'");
}

TEST_F(SystemEvents, StopDeliversAWaitingEventOnceQuicklyAndNothingAfter) {
    Watcher->SetActive(true);
    Wmi.RaiseMediaEvent(true, kIntel);
    Sleep(250); // the worker has taken the event and waits for the hand-over
    const ULONGLONG start = GetTickCount64();
    Watcher->SetActive(false);
    EXPECT_LE(GetTickCount64() - start, 300u);
    EXPECT_EQ(1, Connects);
    Wmi.RaiseMediaEvent(true, kIntel);
    PumpFor(300);
    EXPECT_EQ(1, Connects);
}

TEST_F(SystemEvents, HandlerThatStopsOrDestroysTheWatcherDoesNotDeadlock) {
    // Each handler ends what delivered it, from inside the delivery.
    const std::function<void()> enders[] = {
        [&] { Watcher->SetActive(false); },
        [&] { Watcher->SetOnNetworkConnect(nullptr); },
        [&] {
            Owner.Destroy(Watcher);
            Watcher = nullptr;
        },
    };
    for (const auto& end : enders) {
        if (!Watcher) Watcher = Owner.Own<TWmiSystemEvents>();
        Watcher->SetOnNetworkConnect(nullptr);
        Connects = 0;
        Watcher->SetOnNetworkConnect([&](TComponent*, const std::wstring&) {
            ++Connects;
            end();
        });
        Watcher->SetActive(true);
        Wmi.RaiseMediaEvent(true, kIntel);
        ASSERT_TRUE(PumpUntil([&] { return Connects == 1; }));
        Wmi.RaiseMediaEvent(true, kIntel);
        PumpFor(300);
        EXPECT_EQ(1, Connects);
    }
}

TEST_F(SystemEvents, DestroyingWhileActiveStopsBothWorkers) {
    Watcher->SetActive(true);
    Wmi.RaiseMediaEvent(false, kIntel);
    Sleep(250);
    const ULONGLONG start = GetTickCount64();
    Owner.Destroy(Watcher);
    Watcher = nullptr;
    EXPECT_LE(GetTickCount64() - start, 300u);
    EXPECT_EQ(1, Disconnects) << "the waiting event is still delivered";
}

TEST_F(SystemEvents, HandlerInAModalLoopWhileAStopIsUnderWayDoesNotDeadlock) {
    // The stop begins while the worker waits to hand an event over; its handler then runs a
    // nested modal loop (as a message box does) that a timer ends.
    bool inLoop = false;
    Watcher->SetOnNetworkConnect(nullptr);
    Watcher->SetOnNetworkConnect([&](TComponent*, const std::wstring&) {
        ++Connects;
        inLoop = true;
        const UINT_PTR timer = SetTimer(nullptr, 0, 400, nullptr);
        if (Connects == 2) Wmi.RaiseMediaEvent(false, kIntel); // its delivery nests in here

        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0)) {
            if (msg.message == WM_TIMER && msg.wParam == timer) break;
            DispatchMessageW(&msg);
        }
        KillTimer(nullptr, timer);
        inLoop = false;
    });
    Watcher->SetActive(true);
    Wmi.RaiseMediaEvent(true, kIntel);
    Wmi.RaiseMediaEvent(false, kIntel);
    Sleep(250);
    Watcher->SetActive(false);
    EXPECT_EQ(1, Connects);
    EXPECT_EQ(1, Disconnects);
    EXPECT_FALSE(inLoop);

    // The stop begun inside the loop, by the other worker's handler: both handlers are in
    // deliveries the stop cannot wait for.
    Watcher->SetOnNetworkDisconnect([&](TComponent*, const std::wstring&) {
        ++Disconnects;
        Watcher->SetActive(false);
    });
    Watcher->SetActive(true);
    Wmi.RaiseMediaEvent(true, kIntel);
    ASSERT_TRUE(PumpUntil([&] { return Connects == 2 && Disconnects == 2 && !inLoop; }));
    PumpFor(300);
    EXPECT_FALSE(inLoop);
    EXPECT_FALSE(Watcher->Active());
}

TEST_F(SystemEvents, DroppedSubscriptionIsMadeAgainWithPausesThatDouble) {
    Watcher->SetRetryPauses(20, 80);
    Watcher->SetActive(true);
    TEventInfoHolder& connect = *Watcher->Registrations()[0];
    Wmi.FailNextEvent(WBEM_E_SHUTTING_DOWN);
    ASSERT_TRUE(PumpUntil([&] { return Wmi.NotificationQueries().size() == 3; }));
    EXPECT_TRUE(Watcher->Active());
    Wmi.RaiseMediaEvent(true, kIntel);
    Wmi.RaiseMediaEvent(false, kIntel);
    ASSERT_TRUE(PumpUntil([&] { return Connects == 1 && Disconnects == 1; }));

    // While WMI refuses the subscription the pause doubles up to the longest; then it works.
    // Only the connect worker is left to take the failure.
    Watcher->SetOnNetworkDisconnect(nullptr);
    const std::wstring query = connect.Query;
    Wmi.SetNotificationQueryError(query, WBEM_E_SHUTTING_DOWN);
    std::vector<DWORD> pauses;
    Wmi.FailNextEvent(WBEM_E_SHUTTING_DOWN);
    ASSERT_TRUE(PumpUntil([&] {
        if (connect.RetryDelay && (pauses.empty() || pauses.back() != connect.RetryDelay))
            pauses.push_back(connect.RetryDelay);
        return connect.Failures >= 5;
    }));
    EXPECT_TRUE(std::is_sorted(pauses.begin(), pauses.end()));
    EXPECT_EQ(80u, pauses.back());
    EXPECT_TRUE(Watcher->Active());
    Wmi.SetNotificationQueryError(query, S_OK);
    ASSERT_TRUE(PumpUntil([&] { return TWmiSystemEvents::Running(connect); }));
    Wmi.RaiseMediaEvent(true, kIntel);
    ASSERT_TRUE(PumpUntil([&] { return Connects == 2; }));

    // The default pauses: one second, doubling to a minute.
    TWmiSystemEvents defaults(nullptr);
    TEventInfoHolder lost;
    defaults.SubscriptionLost(lost, true);
    EXPECT_EQ(1000u, lost.RetryDelay);
    for (int i = 0; i < 8; ++i)
        defaults.SubscriptionLost(lost, false);
    EXPECT_EQ(60000u, lost.RetryDelay);
    defaults.SubscriptionLost(lost, true);
    EXPECT_EQ(1000u, lost.RetryDelay);
}

TEST_F(SystemEvents, FailedSubscriptionRaisesFromActivationAndIsMadeAgainLater) {
    Watcher->SetRetryPauses(20, 80);
    int changes = 0;
    Watcher->OnWatchingChange = [&](TComponent* sender) {
        EXPECT_EQ(sender, Watcher);
        ++changes;
    };
    const std::wstring query = L"select * from MSNdis_StatusMediaDisconnect";
    Wmi.SetNotificationQueryError(query, WBEM_E_ACCESS_DENIED);
    try {
        Watcher->SetActive(true);
        ADD_FAILURE() << "activation did not raise";
    } catch (const TWmiException& e) {
        EXPECT_EQ(WBEM_E_ACCESS_DENIED, e.Code());
    }
    TEventInfoHolder& disconnect = *Watcher->Registrations()[1];
    EXPECT_TRUE(TWmiSystemEvents::Running(*Watcher->Registrations()[0]));
    EXPECT_FALSE(TWmiSystemEvents::Running(disconnect));
    EXPECT_FALSE(Watcher->Watching());
    ASSERT_TRUE(PumpUntil([&] { return disconnect.Failures >= 3; }));
    EXPECT_FALSE(Watcher->Watching());
    EXPECT_EQ(0, changes) << "never watching yet";

    Wmi.SetNotificationQueryError(query, S_OK);
    ASSERT_TRUE(PumpUntil([&] { return Watcher->Watching(); }));
    EXPECT_EQ(1, changes);
    Wmi.RaiseMediaEvent(false, kIntel);
    ASSERT_TRUE(PumpUntil([&] { return Disconnects == 1; }));
    Wmi.ResetBehaviour();
}

TEST_F(SystemEvents, ServiceNotRunningAtActivationIsReachedLater) {
    Watcher->SetRetryPauses(20, 80);
    Wmi.SetServiceError(static_cast<HRESULT>(0x800706BA)); // the RPC server is unavailable
    EXPECT_ANY_THROW(Watcher->SetActive(true));
    EXPECT_FALSE(Watcher->Active());
    PumpFor(200);
    EXPECT_FALSE(Watcher->Watching());
    Wmi.SetServiceError(S_OK);
    ASSERT_TRUE(PumpUntil([&] { return Watcher->Watching(); }));
    Wmi.RaiseMediaEvent(true, kIntel);
    ASSERT_TRUE(PumpUntil([&] { return Connects == 1; }));

    // Deactivated, nothing is tried again.
    Watcher->SetActive(false);
    EXPECT_FALSE(Watcher->Watching());
    EXPECT_EQ(0u, Watcher->Registrations()[0]->RetryDelay);
}

TEST_F(SystemEvents, TenThousandEventsLeaveHandlesObjectsAndMemoryFlat) {
    // Twenty registrations of the connect query (more workers than Wine's RPC transport
    // serves at once would fail it) each take ten events a round, five hundred each in all.
    const int registrations = 20, perRound = 10;
    int delivered = 0;
    const long idle = TSimDispatch::LiveDispatchObjects();
    Watcher->SetActive(true);
    for (int i = 0; i < registrations; ++i)
        Watcher->AddEventQuery(
            L"root\\WMI", L"select * from MSNdis_StatusMediaConnect", {},
            [&](TEventInfoHolder&, IDispatch* event) {
                if (event) ++delivered;
            },
            L"");
    const auto round = [&] {
        const int target = delivered + registrations * perRound;
        for (int i = 0; i < perRound; ++i)
            Wmi.RaiseMediaEvent(true, kIntel);
        return PumpUntil([&] { return delivered == target; }, 5000);
    };
    const int rounds = 10000 / (registrations * perRound);
    // The first half warms up: besides what COM keeps for good, the transport's pool of threads
    // (and their handles) grows over the first few thousand events to its size, and stays.
    for (int i = 0; i < rounds / 2; ++i)
        ASSERT_TRUE(round()) << "round " << i;
    PumpFor(200); // every worker has let its last event go
    const DWORD handlesBefore = HandleCount();
    ASSERT_NE(handlesBefore, 0u) << "handles are not counted here";
    const uint64_t bytesBefore = ProcessFigures().PrivateBytes;
    const long objectsBefore = TSimDispatch::LiveDispatchObjects();
    for (int i = rounds / 2; i < rounds; ++i)
        ASSERT_TRUE(round()) << "round " << i;
    // A worker may still hold its last event for a while on a busy machine, so wait for it to
    // let go; fewer than before is fine, it may have held one when the first count was taken.
    EXPECT_TRUE(
        PumpUntil([&] { return TSimDispatch::LiveDispatchObjects() <= objectsBefore; }, 5000))
        << TSimDispatch::LiveDispatchObjects() << " live, " << objectsBefore << " before";
    // Flat over the second five thousand: a few handles and 1 MB of allocator slack, where a
    // leak of one handle or one object per event would show thousands of handles or megabytes.
    EXPECT_LE(HandleCount(), handlesBefore + 8);
    EXPECT_LE(ProcessFigures().PrivateBytes, bytesBefore + 1024 * 1024);
    Watcher->SetActive(false);
    EXPECT_EQ(idle, TSimDispatch::LiveDispatchObjects());
}
} // namespace
