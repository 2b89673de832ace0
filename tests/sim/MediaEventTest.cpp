// Media events of root\\WMI, raised on one thread and received on another.
#include "SimFixture.h"

namespace {
TEST_F(SimulatedWmiTest, MediaEventsReachASourceWaitingOnAnotherThread) {
    ComPtr<IDispatch> wmi = BindServices(L"winmgmts:\\\\.\\root\\WMI");
    const auto open = [&](const wchar_t* wql) {
        ScopedVariant text(wql), language(L"WQL"), flags(48);
        return Object(wmi.Get(), L"ExecNotificationQuery",
                      {text.Get(), language.Get(), flags.Get()});
    };
    ComPtr<IDispatch> connects = open(L"select * from MSNdis_StatusMediaConnect");
    ComPtr<IDispatch> disconnects = open(L"select * from MSNdis_StatusMediaDisconnect");
    ASSERT_EQ(2u, Wmi->NotificationQueries().size());
    EXPECT_EQ(48, Wmi->NotificationQueries()[0].Flags);

    // The worker gets the source as the watcher hands it over: marshalled into a stream.
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK,
              CoMarshalInterThreadInterfaceInStream(kIidSWbemEventSource, connects.Get(), &stream));
    std::wstring received;
    HRESULT waited = E_FAIL;
    std::thread worker([&] {
        ScopedComInitializer com;
        ComPtr<IDispatch> source;
        if (FAILED(CoGetInterfaceAndReleaseStream(stream, kIidSWbemEventSource,
                                                  reinterpret_cast<void**>(source.GetAddressOf()))))
            return;
        try {
            ScopedVariant timeout(5000);
            ScopedVariant event = CallMethod(source.Get(), L"NextEvent", {timeout.Get()});
            received = Text(event.Get().pdispVal, L"InstanceName");
            waited = S_OK;
        } catch (const EComError& e) {
            waited = e.Code();
        }
    });
    Sleep(20);
    Wmi->RaiseMediaEvent(true, L"Intel(R) PRO/1000 MT Network Connection");
    worker.join();
    EXPECT_EQ(S_OK, waited);
    EXPECT_EQ(L"Intel(R) PRO/1000 MT Network Connection", received);

    // Nothing arrived for the other source: its wait times out.
    ScopedVariant shortWait(10);
    EXPECT_EQ(kWbemErrTimedOut,
              ErrorOf([&] { CallMethod(disconnects.Get(), L"NextEvent", {shortWait.Get()}); }));
    Wmi->RaiseMediaEvent(false, L"");
    EXPECT_EQ(L"<null>", Text(Object(disconnects.Get(), L"NextEvent", {shortWait.Get()}).Get(),
                              L"InstanceName"));
    EXPECT_EQ(static_cast<HRESULT>(0x80041010),
              ErrorOf([&] { open(L"select * from __InstanceCreationEvent"); }));
}
} // namespace
