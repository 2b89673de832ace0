// The winmgmts moniker and the locator: what they reach, what they record, and
// handing the classes back to the system.
#include "SimFixture.h"

namespace {
TEST_F(SimulatedWmiTest, MonikerReachesTheServicesOfRootCimv2) {
    ComPtr<IDispatch> services = BindServices();
    ASSERT_TRUE(services);
    EXPECT_EQ(1, Wmi->MonikerBinds());
    BindServices(L"winmgmts:{impersonationLevel=impersonate}!//./root/cimv2");
    EXPECT_EQ(2, Wmi->MonikerBinds());
    EXPECT_EQ(static_cast<HRESULT>(0x8004100E),
              ErrorOf([] { BindServices(L"winmgmts:\\\\.\\root\\nothere"); }));
    Wmi->SetServiceError(static_cast<HRESULT>(0x800706BA));
    EXPECT_EQ(static_cast<HRESULT>(0x800706BA), ErrorOf([] { BindServices(); }));
    Wmi->ResetBehaviour();
    // Objects of an uninstalled provider stay usable; new binds no longer reach it.
    TSimulatedWmi::Uninstall();
    EXPECT_EQ(2u, Query(services.Get(), L"select * from Win32_NetworkAdapter").size());
    EXPECT_EQ(nullptr, TSimulatedWmi::Installed());
}

TEST_F(SimulatedWmiTest, LocatorConnectsAndRecordsItsArgumentsAndContext) {
    ComPtr<IDispatch> locator = Create(kClsidSWbemLocator, kIidSWbemLocator);
    ComPtr<IDispatch> context = Create(kClsidSWbemNamedValueSet, kIidSWbemNamedValueSet);
    for (const wchar_t* name : {L"__ProviderArchitecture", L"Speed"}) {
        ScopedVariant n(name), v(name[0] == L'_' ? L"64" : L"fast"), f(0);
        CallMethod(context.Get(), L"Add", {n.Get(), v.Get(), f.Get()});
    }
    ComPtr<IDispatch> services = Connect(locator.Get(), L"", L"root\\cimv2", L"", context.Get());
    ASSERT_EQ(1u, Wmi->Connects().size());
    const TSimConnect& c = Wmi->Connects()[0];
    EXPECT_EQ(L"root\\cimv2", c.NameSpace);
    EXPECT_EQ(L"secret", c.Password);
    EXPECT_EQ(L"MS_409", c.Locale);
    EXPECT_TRUE(c.HasContext);
    ASSERT_EQ(2u, c.Context.size());
    EXPECT_EQ(L"__ProviderArchitecture", c.Context[0].Name);
    EXPECT_EQ(L"64", c.Context[0].Value);
    EXPECT_EQ(L"Speed", c.Context[1].Name);
    EXPECT_EQ(2u, Query(services.Get(), L"select * from Win32_NetworkAdapterConfiguration").size());

    ComPtr<IDispatch> security = Object(services.Get(), L"Security_");
    ScopedVariant level(3);
    SetProperty(security.Get(), L"ImpersonationLevel", level.Get());
    EXPECT_EQ(3, Wmi->ImpersonationLevel());
    ScopedVariant privilege(L"SeShutdownPrivilege"), on(true), ordinal(19);
    CallMethod(Object(security.Get(), L"Privileges").Get(), L"AddAsString",
               {privilege.Get(), on.Get()});
    CallMethod(Object(security.Get(), L"Privileges").Get(), L"Add", {ordinal.Get()});
    ASSERT_EQ(2u, Wmi->Privileges().size());
    EXPECT_EQ(18, Wmi->Privileges()[0].Ordinal);
    EXPECT_EQ(L"SeDebugPrivilege", Wmi->Privileges()[1].Name);

    // Only this computer is reachable, without credentials, in the namespaces served.
    Connect(locator.Get(), L".", L"root\\WMI");
    EXPECT_EQ(HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE),
              ErrorOf([&] { Connect(locator.Get(), L"far", L"root\\cimv2"); }));
    EXPECT_EQ(static_cast<HRESULT>(0x8004100E),
              ErrorOf([&] { Connect(locator.Get(), L"", L"root\\nothere"); }));
    EXPECT_EQ(static_cast<HRESULT>(0x80041064),
              ErrorOf([&] { Connect(locator.Get(), L"", L"root\\cimv2", L"admin"); }));
    EXPECT_FALSE(Wmi->Connects()[3].HasContext);
    Wmi->SetServiceError(static_cast<HRESULT>(0x80080005));
    EXPECT_EQ(static_cast<HRESULT>(0x80080005),
              ErrorOf([&] { Connect(locator.Get(), L"", L"root\\cimv2"); }));
}

TEST_F(SimulatedWmiTest, UninstallHandsTheClassesBackToTheSystem) {
    ComPtr<IDispatch> ours = Create(kClsidSWbemLocator, kIidSWbemLocator);
    EXPECT_NE(nullptr, TSimDispatch::Implementation(ours.Get()));
    TSimulatedWmi::Uninstall();
    ComPtr<IUnknown> system;
    // Wine's own locator answers again.
    ASSERT_EQ(S_OK,
              CoCreateInstance(kClsidSWbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(system.GetAddressOf())));
    EXPECT_EQ(nullptr, TSimDispatch::Implementation(system.Get()));
    TSimulatedWmi& again = TSimulatedWmi::Install();
    EXPECT_EQ(&again, TSimulatedWmi::Installed());
    EXPECT_EQ(&again, &TSimulatedWmi::Install());
    BindServices();
    EXPECT_EQ(1, again.MonikerBinds());
}
} // namespace
