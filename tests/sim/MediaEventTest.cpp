// Media events of root\\WMI, raised on one thread and received on another, by event sources
// that belong to the apartment that opened them.
#include "SimFixture.h"
#include "framework/Scoped.h"

namespace {
const wchar_t kIntel[] = L"Intel(R) PRO/1000 MT Network Connection";

ComPtr<IDispatch> OpenEvents(IDispatch* wmi, const wchar_t* wql) {
    ScopedVariant text(wql), language(L"WQL"), flags(48);
    ScopedVariant source =
        CallMethod(wmi, L"ExecNotificationQuery", {text.Get(), language.Get(), flags.Get()});
    return ComPtr<IDispatch>(source.Get().pdispVal);
}

// Runs body on a thread of its own apartment; this thread serves calls made to its own
// apartment meanwhile, as the user-interface thread does.
void OnOwnApartment(const std::function<void()>& body) {
    ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread worker([&] {
        {
            ScopedComInitializer com;
            body();
        }
        SetEvent(done.Get());
    });
    HANDLE handle = done.Get();
    DWORD index = 0;
    CoWaitForMultipleHandles(0, 10000, 1, &handle, &index);
    worker.join();
}

TEST_F(SimulatedWmiTest, MediaEventsReachAMarshalledSourceAndAShortcutFails) {
    ComPtr<IDispatch> wmi = BindServices(L"winmgmts:\\\\.\\root\\WMI");
    const long before = TSimDispatch::LiveDispatchObjects();
    ComPtr<IDispatch> connects = OpenEvents(wmi.Get(), L"select * from MSNdis_StatusMediaConnect");
    ComPtr<IDispatch> disconnects =
        OpenEvents(wmi.Get(), L"select * from MSNdis_StatusMediaDisconnect");
    ASSERT_EQ(2u, Wmi->NotificationQueries().size());
    EXPECT_EQ(48, Wmi->NotificationQueries()[0].Flags);
    EXPECT_EQ(before + 2, TSimDispatch::LiveDispatchObjects());

    IStream* stream = nullptr;
    ASSERT_EQ(S_OK,
              CoMarshalInterThreadInterfaceInStream(kIidSWbemEventSource, connects.Get(), &stream));
    std::wstring received;
    HRESULT shortcut = S_OK, waited = E_FAIL;
    OnOwnApartment([&] {
        // The pointer of another apartment used as it is: refused, as COM refuses it.
        ScopedVariant none(0);
        try {
            CallMethod(connects.Get(), L"NextEvent", {none.Get()});
        } catch (const EComError& e) {
            shortcut = e.Code();
        }
        ComPtr<IDispatch> source;
        if (FAILED(CoGetInterfaceAndReleaseStream(stream, kIidSWbemEventSource,
                                                  reinterpret_cast<void**>(source.GetAddressOf()))))
            return;
        Wmi->RaiseMediaEvent(true, kIntel);
        try {
            ScopedVariant timeout(5000);
            ScopedVariant event = CallMethod(source.Get(), L"NextEvent", {timeout.Get()});
            received = Text(event.Get().pdispVal, L"InstanceName");
            waited = S_OK;
        } catch (const EComError& e) {
            waited = e.Code();
        }
    });
    EXPECT_EQ(RPC_E_WRONG_THREAD, shortcut);
    EXPECT_EQ(S_OK, waited);
    EXPECT_EQ(kIntel, received);

    // Nothing arrived for the other source: its wait times out.
    ScopedVariant shortWait(10);
    EXPECT_EQ(kWbemErrTimedOut,
              ErrorOf([&] { CallMethod(disconnects.Get(), L"NextEvent", {shortWait.Get()}); }));
    Wmi->RaiseMediaEvent(false, L"");
    EXPECT_EQ(L"<null>", Text(Object(disconnects.Get(), L"NextEvent", {shortWait.Get()}).Get(),
                              L"InstanceName"));
    EXPECT_EQ(static_cast<HRESULT>(0x80041010),
              ErrorOf([&] { OpenEvents(wmi.Get(), L"select * from __InstanceCreationEvent"); }));
    connects.Reset();
    disconnects.Reset();
    EXPECT_EQ(before, TSimDispatch::LiveDispatchObjects());
}

TEST_F(SimulatedWmiTest, EveryApartmentReachesTheProviderAndInjectedFailuresStrikeOnce) {
    const wchar_t disconnectQuery[] = L"select * from MSNdis_StatusMediaDisconnect";
    Wmi->SetNotificationQueryError(disconnectQuery, WBEM_E_ACCESS_DENIED);
    const long before = TSimDispatch::LiveDispatchObjects();
    HRESULT refused = S_OK, failed = S_OK, afterwards = E_FAIL;
    OnOwnApartment([&] {
        try {
            ComPtr<IDispatch> locator = Create(kClsidSWbemLocator, IID_IDispatch);
            ScopedVariant server(L"."), space(L"root\\WMI");
            ScopedVariant wmi =
                CallMethod(locator.Get(), L"ConnectServer", {server.Get(), space.Get()});
            refused = ErrorOf([&] { OpenEvents(wmi.Get().pdispVal, disconnectQuery); });
            ComPtr<IDispatch> source =
                OpenEvents(wmi.Get().pdispVal, L"select * from MSNdis_StatusMediaConnect");
            ScopedVariant wait(10);
            Wmi->FailNextEvent(WBEM_E_SHUTTING_DOWN);
            failed = ErrorOf([&] { CallMethod(source.Get(), L"NextEvent", {wait.Get()}); });
            afterwards = ErrorOf([&] { CallMethod(source.Get(), L"NextEvent", {wait.Get()}); });
        } catch (const EComError& e) {
            ADD_FAILURE() << "the worker's apartment: 0x" << std::hex << e.Code();
        }
    });
    EXPECT_EQ(WBEM_E_ACCESS_DENIED, refused);
    EXPECT_EQ(WBEM_E_SHUTTING_DOWN, failed);
    EXPECT_EQ(kWbemErrTimedOut, afterwards);
    EXPECT_EQ(before, TSimDispatch::LiveDispatchObjects());
}
} // namespace
