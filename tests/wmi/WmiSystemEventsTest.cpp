// The system events watcher against the simulated provider's media events.
#include <gtest/gtest.h>

#include <functional>

#include "SimulatedWmiFixture.h"
#include "support/Pumping.h"
#include "wmi/WmiException.h"
#include "wmi/WmiSystemEvents.h"

namespace {
const wchar_t kIntel[] = L"Intel(R) PRO/1000 MT Network Connection";
const wchar_t kRealtek[] = L"Realtek RTL8139 Family PCI Fast Ethernet NIC";

class SystemEvents : public SimulatedWmiTest {
protected:
    SystemEvents() {
        Watcher->SetPoolingInterval(10);
        Watcher->SetOnNetworkConnect([this](TComponent* sender) {
            EXPECT_EQ(sender, Watcher);
            EXPECT_EQ(GetCurrentThreadId(), UiThread);
            ++Connects;
        });
        Watcher->SetOnNetworkDisconnect([this](TComponent*) { ++Disconnects; });
    }
    ~SystemEvents() override { Watcher = nullptr; }

    TWatchdog Watchdog{30};
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
    for (const auto& registration : Watcher->Registrations()) {
        EXPECT_FALSE(registration->EventSource);
        EXPECT_FALSE(registration->Worker);
    }
}

TEST_F(SystemEvents, EachMediaEventCallsItsHandlerOnceWhicheverAdapter) {
    Watcher->SetActive(true);
    Wmi.RaiseMediaEvent(false, kIntel);
    ASSERT_TRUE(PumpUntil([&] { return Disconnects == 1; }));
    Wmi.RaiseMediaEvent(true, kIntel);
    Wmi.RaiseMediaEvent(true, kRealtek);
    ASSERT_TRUE(PumpUntil([&] { return Connects == 2; }));
    PumpFor(300);
    EXPECT_EQ(2, Connects);
    EXPECT_EQ(1, Disconnects);
}

TEST_F(SystemEvents, RaisingHandlerDoesNotStopLaterEvents) {
    Watcher->SetOnNetworkConnect(nullptr);
    Watcher->SetOnNetworkConnect([this](TComponent*) {
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
    Watcher->SetOnNetworkConnect([this](TComponent*) { ++Connects; });
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
    EXPECT_FALSE(Watcher->Registrations()[2]->EventSource);
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
        Watcher->SetOnNetworkConnect([&](TComponent*) {
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
} // namespace
