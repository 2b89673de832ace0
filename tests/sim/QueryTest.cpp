// WQL queries and Get: which objects they answer, what they reject, what they record.
#include "SimFixture.h"

namespace {
TEST_F(SimulatedWmiTest, QueriesFilterAsTheProgramWritesThem) {
    ComPtr<IDispatch> services = BindServices();
    Wmi->Adapters()[1].IPEnabled = false;
    Wmi->Adapters()[1].AdapterType = L"Wireless";
    EXPECT_EQ(2u, Query(services.Get(), L"select * from Win32_NetworkAdapterConfiguration").size());
    EXPECT_EQ(1u, Query(services.Get(),
                        L"Select * from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE")
                      .size());
    EXPECT_EQ(
        1u,
        Query(services.Get(),
              L"select * from Win32_NetworkAdapterConfiguration\r\nwhere IPEnabled = true\r\n\r\n")
            .size());
    EXPECT_EQ(1u, Query(services.Get(),
                        L"SELECT * FROM win32_networkadapterconfiguration WHERE ipenabled = false")
                      .size());
    EXPECT_EQ(1u, Query(services.Get(),
                        L"select * from Win32_NetworkAdapter where AdapterType = 'Ethernet 802.3'")
                      .size());
    auto eight = Query(services.Get(), L"select * from   Win32_NetworkAdapter  where index=8");
    ASSERT_EQ(1u, eight.size());
    EXPECT_EQ(L"以太网 2", Text(eight[0].Get(), L"NetConnectionID"));
    EXPECT_EQ(L"8", Text(eight[0].Get(), L"index"));
    EXPECT_EQ(0u,
              Query(services.Get(), L"select * from Win32_NetworkAdapter where Index = 3").size());
    EXPECT_EQ(
        1u, Query(services.Get(),
                  L"select * from Win32_NetworkAdapter where Index = '1' or NetConnectionID = 'x'")
                .size());
    EXPECT_EQ(8u, Wmi->Queries().size());
}

TEST_F(SimulatedWmiTest, RejectedQueriesFailAsWmiDoes) {
    ComPtr<IDispatch> services = BindServices();
    const auto failure = [&](const wchar_t* wql, int flags) {
        return ErrorOf([&] {
            ScopedVariant text{std::wstring(wql)}, language(std::wstring(L"WQL")), flag(flags);
            ScopedVariant set =
                CallMethod(services.Get(), L"ExecQuery", {text.Get(), language.Get(), flag.Get()});
            Objects(set.Get().pdispVal);
        });
    };
    EXPECT_EQ(static_cast<HRESULT>(0x80041010), failure(L"select * from Win32_Nothing", 48));
    EXPECT_EQ(static_cast<HRESULT>(0x80041010), failure(L"select * from Win32_Nothing", 0));
    EXPECT_EQ(static_cast<HRESULT>(0x80041017), failure(L"select from Win32_NetworkAdapter", 48));
    EXPECT_EQ(static_cast<HRESULT>(0x80041017),
              failure(L"select * from Win32_NetworkAdapter where", 32));
    EXPECT_EQ(static_cast<HRESULT>(0x80041017),
              failure(L"select * from Win32_NetworkAdapter where Colour = 1", 48));
    EXPECT_EQ(static_cast<HRESULT>(0x80041017),
              failure(L"select * from Win32_NetworkAdapter where Index = 'x'", 48));
    // A number too large for any CIM integer is a bad query, not an unexpected failure.
    EXPECT_EQ(
        static_cast<HRESULT>(0x80041017),
        failure(L"select * from Win32_NetworkAdapter where Index = 99999999999999999999", 48));
    // With wbemFlagReturnImmediately the query answers at once and the enumeration fails.
    ScopedVariant text(std::wstring(L"select * from Win32_Nothing"));
    EXPECT_EQ(S_OK, ErrorOf([&] { CallMethod(services.Get(), L"ExecQuery", {text.Get()}); }));
}

TEST_F(SimulatedWmiTest, AQueryErrorSetForAClassFailsItsQueriesAsWmiDoes) {
    ComPtr<IDispatch> services = BindServices();
    const HRESULT denied = static_cast<HRESULT>(0x80041003); // WBEM_E_ACCESS_DENIED
    Wmi->SetQueryError(L"win32_networkadapter", denied);
    // Returning at once, the query is accepted; reading its objects in any way fails.
    ScopedVariant text(L"select * from Win32_NetworkAdapter where Index = 1");
    ScopedVariant set = CallMethod(services.Get(), L"ExecQuery", {text.Get()});
    ASSERT_EQ(VT_DISPATCH, set.Type());
    ScopedVariant path(L"Win32_NetworkAdapter.DeviceID=\"1\"");
    EXPECT_EQ(denied, ErrorOf([&] { GetProperty(set.Get().pdispVal, L"Count"); }));
    EXPECT_EQ(denied, ErrorOf([&] { GetProperty(set.Get().pdispVal, L"Item", {path.Get()}); }));
    EXPECT_EQ(denied, ErrorOf([&] { Objects(set.Get().pdispVal); }));
    // Otherwise it fails at once.
    ScopedVariant language(L"WQL"), waitForAll(0);
    EXPECT_EQ(denied, ErrorOf([&] {
                  CallMethod(services.Get(), L"ExecQuery",
                             {text.Get(), language.Get(), waitForAll.Get()});
              }));
    // Other classes, and the objects reached without a query, are untouched.
    EXPECT_EQ(2u, Query(services.Get(), L"select * from Win32_NetworkAdapterConfiguration").size());
    EXPECT_EQ(S_OK, ErrorOf([&] { CallMethod(services.Get(), L"Get", {path.Get()}); }));

    Wmi->SetQueryError(L"Win32_NetworkAdapter", S_OK);
    EXPECT_EQ(1u,
              Query(services.Get(), L"select * from Win32_NetworkAdapter where Index = 1").size());
    Wmi->SetQueryError(L"Win32_NetworkAdapter", denied);
    Wmi->ResetBehaviour();
    EXPECT_EQ(2u, Query(services.Get(), L"select * from Win32_NetworkAdapter").size());
}

TEST_F(SimulatedWmiTest, ExecQueryAndGetRecordWhatTheyWereGiven) {
    ComPtr<IDispatch> services = BindServices();
    ScopedVariant text(L"select * from Win32_NetworkAdapter"), language(L"WQL"), flags(48);
    CallMethod(services.Get(), L"ExecQuery", {text.Get(), language.Get(), flags.Get()});
    Query(services.Get(), L"select * from Win32_NetworkAdapter");
    ASSERT_EQ(2u, Wmi->QueryDetails().size());
    EXPECT_EQ(48, Wmi->QueryDetails()[0].Flags);
    EXPECT_TRUE(Wmi->QueryDetails()[0].FlagsSupplied);
    EXPECT_EQ(16, Wmi->QueryDetails()[1].Flags);
    EXPECT_FALSE(Wmi->QueryDetails()[1].FlagsSupplied);

    const auto get = [&](const std::wstring& path, int flags = 0) {
        ScopedVariant p(path), f(flags);
        return Object(services.Get(), L"Get", {p.Get(), f.Get()});
    };
    ComPtr<IDispatch> cls =
        get(L"Win32_NetworkAdapterConfiguration", kWbemFlagUseAmendedQualifiers);
    ComPtr<IDispatch> path = Object(cls.Get(), L"Path_");
    EXPECT_EQ(L"Win32_NetworkAdapterConfiguration", Text(path.Get(), L"Class"));
    EXPECT_EQ(L"True", Text(path.Get(), L"IsClass"));
    EXPECT_EQ(L"<null>", Text(cls.Get(), L"IPAddress"));
    EXPECT_EQ(L"Realtek USB GbE Family Controller",
              Text(get(L"\\\\.\\root\\cimv2:Win32_NetworkAdapterConfiguration.Index=8").Get(),
                   L"Description"));
    EXPECT_EQ(L"以太网",
              Text(get(L"Win32_NetworkAdapter.DeviceID=\"1\"").Get(), L"NetConnectionID"));
    EXPECT_EQ(static_cast<HRESULT>(0x80041002),
              ErrorOf([&] { get(L"Win32_NetworkAdapterConfiguration.Index=5"); }));
    EXPECT_EQ(static_cast<HRESULT>(0x80041002), ErrorOf([&] { get(L"Win32_Nothing"); }));
    EXPECT_EQ(static_cast<HRESULT>(0x8004103A),
              ErrorOf([&] { get(L"Win32_NetworkAdapter.DeviceID=\"1"); }));
    ASSERT_EQ(6u, Wmi->Gets().size());
    EXPECT_EQ(kWbemFlagUseAmendedQualifiers, Wmi->Gets()[0].Flags);
}

TEST_F(SimulatedWmiTest, PrototypeQueryAnswersOneObjectWithoutValues) {
    ComPtr<IDispatch> services = BindServices();
    ScopedVariant text(L"select * from Win32_NetworkAdapterConfiguration where IPEnabled = true"),
        language(L"WQL"), flags(50);
    ScopedVariant set =
        CallMethod(services.Get(), L"ExecQuery", {text.Get(), language.Get(), flags.Get()});
    auto objects = Objects(set.Get().pdispVal);
    ASSERT_EQ(1u, objects.size());
    EXPECT_EQ(L"<null>", Text(objects[0].Get(), L"Index"));
    EXPECT_EQ(14u, Names(Object(objects[0].Get(), L"Properties_").Get()).size());
}

TEST_F(SimulatedWmiTest, SelectedPropertiesAndNullTests) {
    ComPtr<IDispatch> services = BindServices();
    Wmi->Adapters()[1].NetConnectionID.clear();
    auto rows =
        Query(services.Get(),
              L"select Description from Win32_NetworkAdapter where NetConnectionID is null");
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ((std::vector<std::wstring>{L"Description", L"DeviceID"}),
              Names(Object(rows[0].Get(), L"Properties_").Get()))
        << "the selected properties and the key";
    EXPECT_EQ(static_cast<HRESULT>(DISP_E_UNKNOWNNAME),
              ErrorOf([&] { GetProperty(rows[0].Get(), L"Index"); }));
    EXPECT_EQ(1u, Query(services.Get(),
                        L"select * from Win32_NetworkAdapter where NetConnectionID is not null")
                      .size());
    EXPECT_EQ(
        0u, Query(services.Get(),
                  L"select * from Win32_NetworkAdapter where NetConnectionID <> 'x' and Index = 8")
                .size());
}
} // namespace
