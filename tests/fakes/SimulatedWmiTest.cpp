// The simulated WMI provider as the program reaches it: through the winmgmts moniker and the
// locator, late-bound, with the argument shapes the switching engine uses.
#include <gtest/gtest.h>
#include <thread>
#include <objbase.h>
#include <urlmon.h>
#include <wrl/client.h>

#include "fakes/SimDispatch.h"
#include "fakes/SimulatedWmi.h"
#include "framework/Automation.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr GUID CLSID_Locator = {
    0x76a64158, 0xcb41, 0x11d1, {0x8b, 0x02, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};
constexpr GUID IID_Locator = {
    0x76a6415b, 0xcb41, 0x11d1, {0x8b, 0x02, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};
constexpr GUID CLSID_NamedValueSet = {
    0x9aed384e, 0xce8b, 0x11d1, {0x8b, 0x05, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};
constexpr GUID IID_NamedValueSet = {
    0xcf2376ea, 0xce8c, 0x11d1, {0x8b, 0x05, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};

class SimulatedWmiTest : public ::testing::Test {
protected:
    void SetUp() override {
        Wmi = &TSimulatedWmi::Install();
        Wmi->SetDefaultAdapters();
        Wmi->ResetBehaviour();
        Wmi->ClearCalls();
        Wmi->OnCall = nullptr;
    }
    void TearDown() override { TSimulatedWmi::Uninstall(); }

    // The way the switching engine reaches the services: bind context, parse, bind.
    static ComPtr<IDispatch> BindServices(const wchar_t* name = L"winmgmts:\\\\.\\root\\cimv2") {
        ComPtr<IBindCtx> context;
        EXPECT_EQ(S_OK, CreateBindCtx(0, &context));
        ComPtr<IMoniker> moniker;
        ULONG eaten = 0;
        const HRESULT parsed = MkParseDisplayNameEx(context.Get(), name, &eaten, &moniker);
        if (FAILED(parsed)) throw EComError(L"parse", parsed);
        ComPtr<IUnknown> object;
        ComCheck(moniker->BindToObject(context.Get(), nullptr, IID_IUnknown,
                                       reinterpret_cast<void**>(object.GetAddressOf())));
        ComPtr<IDispatch> services;
        ComCheck(object.As(&services));
        return services;
    }

    // Every object of an ExecQuery, through _NewEnum as IEnumVARIANT.
    static std::vector<ComPtr<IDispatch>> Objects(IDispatch* set) {
        ScopedVariant newEnum = GetProperty(set, L"_NewEnum");
        ComPtr<IEnumVARIANT> enumerator;
        ComCheck(newEnum.Get().punkVal->QueryInterface(IID_PPV_ARGS(&enumerator)));
        std::vector<ComPtr<IDispatch>> objects;
        for (;;) {
            ScopedVariant item;
            ULONG fetched = 0;
            const HRESULT hr = enumerator->Next(1, item.Receive(), &fetched);
            ComCheck(hr);
            if (hr != S_OK) break;
            EXPECT_EQ(VT_DISPATCH, item.Type());
            objects.emplace_back(item.Get().pdispVal);
        }
        return objects;
    }

    static std::vector<ComPtr<IDispatch>> Query(IDispatch* services, const std::wstring& wql) {
        ScopedVariant text(wql);
        ScopedVariant set = CallMethod(services, L"ExecQuery", {text.Get()});
        return Objects(set.Get().pdispVal);
    }

    static std::wstring Text(IDispatch* object, const wchar_t* name) {
        ScopedVariant v = GetProperty(object, name);
        if (v.Type() == VT_NULL) return L"<null>";
        ScopedVariant text;
        ComCheck(VariantChangeType(text.Ptr(), v.Ptr(), 0, VT_BSTR));
        return std::wstring(text.Get().bstrVal);
    }

    static std::vector<std::wstring> List(IDispatch* object, const wchar_t* name) {
        ScopedVariant v = GetProperty(object, name);
        if (v.Type() == VT_NULL) return {};
        EXPECT_EQ(VT_ARRAY | VT_VARIANT, v.Type());
        return SafeArrayStrings(v.Get().parray);
    }

    static HRESULT ErrorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const EComError& e) {
            return e.Code();
        }
        return S_OK;
    }

    // The engine's argument form: a string array with lower bound 1 held in a variant, passed
    // by reference.
    struct TArrayArg {
        explicit TArrayArg(const std::vector<std::wstring>& items) {
            Held.SetArray(ScopedSafeArray::OfStrings(items, 1).Release(), VT_BSTR);
        }
        VARIANT Ref() { return RefTo(*Held.Ptr()); }
        ScopedVariant Held;
    };

    // Calls a method of the first IP-enabled configuration whose Index is given.
    long CallOn(int index, const std::wstring& method, std::initializer_list<VARIANT> args = {}) {
        ComPtr<IDispatch> services = BindServices();
        for (auto& object :
             Query(services.Get(),
                   L"select * from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE"))
            if (GetProperty(object.Get(), L"Index").Get().lVal == index)
                return CallMethod(object.Get(), method, args).Get().lVal;
        ADD_FAILURE() << "no adapter " << index;
        return -1;
    }

    static ComPtr<IDispatch> Create(const GUID& clsid, const GUID& iid) {
        ComPtr<IDispatch> object;
        ComCheck(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                  reinterpret_cast<void**>(object.GetAddressOf())));
        return object;
    }

    static ComPtr<IDispatch> Connect(IDispatch* locator, const std::wstring& server,
                                     const std::wstring& nameSpace, const std::wstring& user = L"",
                                     IDispatch* context = nullptr) {
        ScopedVariant s(server), n(nameSpace), u(user), p(L"secret"), l(L"MS_409"), a(L""), f(0);
        // No context is passed as Nothing, as a script passes it.
        ScopedVariant c;
        c.Ptr()->vt = VT_DISPATCH;
        c.Ptr()->pdispVal = context;
        if (context) context->AddRef();
        ScopedVariant services =
            CallMethod(locator, L"ConnectServer",
                       {s.Get(), n.Get(), u.Get(), p.Get(), l.Get(), a.Get(), f.Get(), c.Get()});
        return ComPtr<IDispatch>(services.Get().pdispVal);
    }

    static ComPtr<IDispatch> Object(IDispatch* from, const wchar_t* name,
                                    std::initializer_list<VARIANT> args = {}) {
        ScopedVariant v = GetProperty(from, name, args);
        return v.Type() == VT_DISPATCH ? ComPtr<IDispatch>(v.Get().pdispVal) : nullptr;
    }

    static std::vector<std::wstring> Names(IDispatch* set) {
        std::vector<std::wstring> names;
        for (auto& item : Objects(set))
            names.push_back(Text(item.Get(), L"Name"));
        return names;
    }

    TSimulatedWmi* Wmi = nullptr;
};

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
    EXPECT_EQ(L"本地连接 2", Text(eight[0].Get(), L"NetConnectionID"));
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

TEST_F(SimulatedWmiTest, ObjectsCarryTheAdapterPropertiesInWmiForms) {
    ComPtr<IDispatch> services = BindServices();
    Wmi->Adapters()[0].DefaultIPGateway.clear();
    auto configs = Query(services.Get(),
                         L"select * from Win32_NetworkAdapterConfiguration where IPEnabled = true");
    ASSERT_EQ(2u, configs.size());
    IDispatch* first = configs[0].Get();
    EXPECT_EQ(VT_I4, GetProperty(first, L"Index").Type());
    EXPECT_EQ(VT_BOOL, GetProperty(first, L"IPEnabled").Type());
    EXPECT_EQ(L"Intel(R) PRO/1000 MT Network Connection", Text(first, L"Description"));
    EXPECT_EQ(L"00:0C:29:4F:8E:35", Text(first, L"MACAddress"));
    EXPECT_EQ((std::vector<std::wstring>{L"192.168.1.20"}), List(first, L"IPAddress"));
    EXPECT_EQ((std::vector<std::wstring>{L"255.255.255.0"}), List(first, L"IPSubnet"));
    EXPECT_EQ((std::vector<std::wstring>{L"192.168.1.1", L"192.168.1.2"}),
              List(first, L"DNSServerSearchOrder"));
    EXPECT_EQ(VT_NULL, GetProperty(first, L"DefaultIPGateway").Type());
    EXPECT_EQ(L"-1", Text(configs[1].Get(), L"DHCPEnabled"));
    // Objects keep the values they were read with.
    Wmi->Adapters()[0].IPAddress = {L"10.1.1.1"};
    EXPECT_EQ((std::vector<std::wstring>{L"192.168.1.20"}), List(first, L"IPAddress"));
    EXPECT_EQ(static_cast<HRESULT>(DISP_E_UNKNOWNNAME),
              ErrorOf([&] { GetProperty(first, L"NoSuchProperty"); }));
}

TEST_F(SimulatedWmiTest, AdapterMethodsChangeTheAdapterAsWindowsDoes) {
    TArrayArg address({L"10.0.0.5"}), mask({L"255.255.0.0"}), gateway({L"10.0.0.1"}),
        dns({L"10.0.0.2", L"10.0.0.3"});
    EXPECT_EQ(0, CallOn(8, L"EnableStatic", {address.Ref(), mask.Ref()}));
    const TSimAdapter& eight = Wmi->Adapters()[1];
    EXPECT_FALSE(eight.DHCPEnabled);
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.5"}, eight.IPAddress);
    EXPECT_EQ(std::vector<std::wstring>{L"255.255.0.0"}, eight.IPSubnet);
    EXPECT_EQ(std::vector<std::wstring>{L"192.168.8.1"}, eight.DefaultIPGateway)
        << "the gateway is kept";
    EXPECT_TRUE(eight.DHCPServer.empty());
    EXPECT_EQ(0, CallOn(8, L"SetGateways", {gateway.Ref()}));
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.1"}, eight.DefaultIPGateway);
    EXPECT_EQ(0, CallOn(8, L"SetDNSServerSearchOrder", {dns.Ref()}));
    EXPECT_EQ((std::vector<std::wstring>{L"10.0.0.2", L"10.0.0.3"}), eight.DNSServerSearchOrder);
    // Automatic DNS on a static adapter leaves no server; after DHCP the lease's server.
    ScopedVariant notSupplied = ScopedVariant::NotSupplied();
    EXPECT_EQ(0, CallOn(8, L"SetDNSServerSearchOrder", {notSupplied.Get()}));
    EXPECT_TRUE(eight.DNSServerSearchOrder.empty());
    EXPECT_EQ(0, CallOn(8, L"EnableDHCP"));
    EXPECT_TRUE(eight.DHCPEnabled);
    EXPECT_EQ(std::vector<std::wstring>{L"192.168.8.100"}, eight.IPAddress);
    EXPECT_EQ(14u, eight.DHCPLeaseObtained.find(L'.'));
    EXPECT_EQ(0, CallOn(8, L"SetDNSServerSearchOrder"));
    EXPECT_EQ(std::vector<std::wstring>{L"192.168.8.1"}, eight.DNSServerSearchOrder);
    // The other adapter is untouched.
    EXPECT_EQ(std::vector<std::wstring>{L"192.168.1.20"}, Wmi->Adapters()[0].IPAddress);
}

TEST_F(SimulatedWmiTest, AdapterMethodsRefuseWhatWindowsRefuses) {
    TArrayArg bad({L"10.0.0.300"}), good({L"10.0.0.5"}), badMask({L"255.0.255.0"}),
        mask({L"255.255.255.0"}), blank({L" 10.0.0.1"});
    EXPECT_EQ(70, CallOn(1, L"EnableStatic", {bad.Ref(), mask.Ref()}));
    EXPECT_EQ(66, CallOn(1, L"EnableStatic", {good.Ref(), badMask.Ref()}));
    EXPECT_EQ(71, CallOn(1, L"SetGateways", {blank.Ref()}));
    // A metric that is no number is refused like any bad argument, and the call is recorded
    // with that answer.
    TArrayArg gateway({L"10.0.0.1"}), metric({L"one"});
    Wmi->ClearCalls();
    EXPECT_EQ(68, CallOn(1, L"SetGateways", {gateway.Ref(), metric.Ref()}));
    ASSERT_EQ(Wmi->Calls().size(), 1u);
    EXPECT_EQ(Wmi->Calls()[0].Result, 68);
    EXPECT_FALSE(Wmi->Calls()[0].Raised);
    EXPECT_EQ(std::vector<std::wstring>{L"192.168.1.20"}, Wmi->Adapters()[0].IPAddress);
    // An adapter that lost IP after it was read.
    ComPtr<IDispatch> services = BindServices();
    ComPtr<IDispatch> first =
        Query(services.Get(), L"select * from Win32_NetworkAdapterConfiguration")[0];
    Wmi->Adapters()[0].IPEnabled = false;
    EXPECT_EQ(84, CallMethod(first.Get(), L"EnableDHCP").Get().lVal);
    EXPECT_FALSE(Wmi->Adapters()[0].DHCPEnabled);
    Wmi->Adapters()[0].IPEnabled = true;
    // A plain string where an array belongs is an error of the call.
    ScopedVariant text(L"10.0.0.5");
    EXPECT_EQ(static_cast<HRESULT>(0x80041008), ErrorOf([&] {
                  CallOn(1, L"EnableStatic", {text.Get(), text.Get()});
              }));
}

TEST_F(SimulatedWmiTest, ResultsAndRaisesReplaceTheAnswer) {
    TArrayArg address({L"10.0.0.5"}), mask({L"255.255.255.0"});
    Wmi->SetResult(L"EnableStatic", 1);
    Wmi->SetResult(L"EnableStatic", 66, 8);
    EXPECT_EQ(1, CallOn(1, L"EnableStatic", {address.Ref(), mask.Ref()}));
    EXPECT_EQ(66, CallOn(8, L"EnableStatic", {address.Ref(), mask.Ref()}));
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.5"}, Wmi->Adapters()[0].IPAddress)
        << "1 still applies";
    EXPECT_EQ(std::vector<std::wstring>{L"192.168.8.100"}, Wmi->Adapters()[1].IPAddress);

    Wmi->SetRaise(L"EnableDHCP", static_cast<HRESULT>(0x80041001), 1);
    EXPECT_EQ(static_cast<HRESULT>(0x80041001), ErrorOf([&] { CallOn(1, L"EnableDHCP"); }));
    EXPECT_EQ(0, CallOn(8, L"EnableDHCP"));
    EXPECT_FALSE(Wmi->Adapters()[0].DHCPEnabled);
    const TSimCall& raised = Wmi->Calls()[2];
    EXPECT_TRUE(raised.Raised);
    EXPECT_EQ(L"adapter 1 EnableDHCP() raised 0x80041001", TSimulatedWmi::Describe(raised));

    Wmi->ResetBehaviour();
    EXPECT_EQ(0, CallOn(1, L"EnableDHCP"));
}

TEST_F(SimulatedWmiTest, CallsAreRecordedWithTheShapeOfTheirArguments) {
    std::vector<TSimCall> seen;
    size_t recordedWhenSeen = 0;
    Wmi->OnCall = [&](const TSimCall& call) {
        seen.push_back(call);
        recordedWhenSeen = Wmi->Calls().size();
    };
    TArrayArg address({L"10.0.0.5"}), mask({L"255.255.255.0"});
    EXPECT_EQ(0, CallOn(1, L"EnableStatic", {address.Ref(), mask.Ref()}));
    ScopedVariant notSupplied = ScopedVariant::NotSupplied();
    EXPECT_EQ(0, CallOn(8, L"SetDNSServerSearchOrder", {notSupplied.Get()}));
    // By value, with lower bound 0 and variant elements, as a script would pass it.
    SAFEARRAYBOUND bound{2, 0};
    ScopedSafeArray servers(SafeArrayCreate(VT_VARIANT, 1, &bound));
    for (LONG i = 0; i < 2; ++i) {
        ScopedVariant item(i ? L"10.0.0.3" : L"10.0.0.2");
        SafeArrayPutElement(servers.Get(), &i, item.Ptr());
    }
    ScopedVariant byValue;
    byValue.SetArray(servers.Release(), VT_VARIANT);
    EXPECT_EQ(0, CallOn(8, L"SetDNSServerSearchOrder", {byValue.Get()}));

    ASSERT_EQ(3u, Wmi->Calls().size());
    const TSimCall& stat = Wmi->Calls()[0];
    EXPECT_EQ(1, stat.AdapterIndex);
    EXPECT_EQ(L"EnableStatic", stat.Method);
    ASSERT_EQ(2u, stat.Args.size());
    const TSimArgument& a = stat.Args[0];
    EXPECT_EQ(VT_BYREF | VT_VARIANT, a.Type);
    EXPECT_TRUE(a.ByRef && a.IsArray && !a.NotSupplied);
    EXPECT_EQ(VT_BSTR, a.ElementType);
    EXPECT_EQ(1, a.Dimensions);
    EXPECT_EQ(1, a.LowerBound);
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.5"}, a.Values);
    EXPECT_EQ(L"adapter 1 EnableStatic({10.0.0.5}, {255.255.255.0}) = 0",
              TSimulatedWmi::Describe(stat));

    const TSimArgument& missing = Wmi->Calls()[1].Args.at(0);
    EXPECT_EQ(VT_ERROR, missing.Type);
    EXPECT_TRUE(missing.NotSupplied && !missing.ByRef && !missing.IsArray);
    EXPECT_EQ(L"adapter 8 SetDNSServerSearchOrder(<not supplied>) = 0",
              TSimulatedWmi::Describe(Wmi->Calls()[1]));

    const TSimArgument& plain = Wmi->Calls()[2].Args.at(0);
    EXPECT_EQ(VT_ARRAY | VT_VARIANT, plain.Type);
    EXPECT_FALSE(plain.ByRef);
    EXPECT_EQ(VT_VARIANT, plain.ElementType);
    EXPECT_EQ(0, plain.LowerBound);
    EXPECT_EQ((std::vector<std::wstring>{L"10.0.0.2", L"10.0.0.3"}), plain.Values);

    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ(3u, recordedWhenSeen);
    EXPECT_EQ(L"EnableStatic", seen[0].Method);
}

TEST_F(SimulatedWmiTest, LocatorConnectsAndRecordsItsArgumentsAndContext) {
    ComPtr<IDispatch> locator = Create(CLSID_Locator, IID_Locator);
    ComPtr<IDispatch> context = Create(CLSID_NamedValueSet, IID_NamedValueSet);
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
    ComPtr<IDispatch> cls = get(L"Win32_NetworkAdapterConfiguration", 0x20000);
    ComPtr<IDispatch> path = Object(cls.Get(), L"Path_");
    EXPECT_EQ(L"Win32_NetworkAdapterConfiguration", Text(path.Get(), L"Class"));
    EXPECT_EQ(L"-1", Text(path.Get(), L"IsClass"));
    EXPECT_EQ(L"<null>", Text(cls.Get(), L"IPAddress"));
    EXPECT_EQ(L"Realtek RTL8139 Family PCI Fast Ethernet NIC",
              Text(get(L"\\\\.\\root\\cimv2:Win32_NetworkAdapterConfiguration.Index=8").Get(),
                   L"Description"));
    EXPECT_EQ(L"本地连接",
              Text(get(L"Win32_NetworkAdapter.DeviceID=\"1\"").Get(), L"NetConnectionID"));
    EXPECT_EQ(static_cast<HRESULT>(0x80041002),
              ErrorOf([&] { get(L"Win32_NetworkAdapterConfiguration.Index=5"); }));
    EXPECT_EQ(static_cast<HRESULT>(0x80041002), ErrorOf([&] { get(L"Win32_Nothing"); }));
    EXPECT_EQ(static_cast<HRESULT>(0x8004103A),
              ErrorOf([&] { get(L"Win32_NetworkAdapter.DeviceID=\"1"); }));
    ASSERT_EQ(6u, Wmi->Gets().size());
    EXPECT_EQ(0x20000, Wmi->Gets()[0].Flags);
}

TEST_F(SimulatedWmiTest, PropertiesPathAndTextDescribeTheObject) {
    ComPtr<IDispatch> services = BindServices();
    ComPtr<IDispatch> config =
        Query(services.Get(), L"select * from Win32_NetworkAdapterConfiguration")[0];
    ComPtr<IDispatch> properties = Object(config.Get(), L"Properties_");
    EXPECT_EQ((std::vector<std::wstring>{L"DefaultIPGateway", L"Description", L"DHCPEnabled",
                                         L"DHCPLeaseObtained", L"DHCPServer",
                                         L"DNSServerSearchOrder", L"GatewayCostMetric", L"Index",
                                         L"IPAddress", L"IPEnabled", L"IPSubnet", L"MACAddress"}),
              Names(properties.Get()));
    EXPECT_EQ(L"12", Text(properties.Get(), L"Count"));
    ScopedVariant name(L"ipaddress"), zero(0);
    ComPtr<IDispatch> address = Object(properties.Get(), L"Item", {name.Get(), zero.Get()});
    // The default member of a set is Item, as a script's properties("name") uses it.
    DISPPARAMS byDefault{name.Ptr(), nullptr, 1, 0};
    ScopedVariant viaDefault;
    ASSERT_EQ(S_OK,
              properties->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                                 &byDefault, viaDefault.Receive(), nullptr, nullptr));
    EXPECT_EQ(L"IPAddress", Text(viaDefault.Get().pdispVal, L"Name"));
    EXPECT_EQ(L"8", Text(address.Get(), L"CIMType"));
    EXPECT_EQ(L"-1", Text(address.Get(), L"IsArray"));
    EXPECT_EQ(VT_ARRAY | VT_VARIANT, GetProperty(address.Get(), L"Value").Type());
    ScopedVariant indexName(L"Index"), key(L"KEY"), readOnly(L"ReadOnly");
    ComPtr<IDispatch> index = Object(properties.Get(), L"Item", {indexName.Get()});
    EXPECT_EQ(L"19", Text(index.Get(), L"CIMType"));
    ComPtr<IDispatch> qualifiers = Object(index.Get(), L"Qualifiers_");
    EXPECT_EQ(L"-1", Text(Object(qualifiers.Get(), L"Item", {key.Get()}).Get(), L"Value"));
    EXPECT_EQ(L"-1", Text(Object(qualifiers.Get(), L"Item", {readOnly.Get()}).Get(), L"Value"));
    EXPECT_EQ(static_cast<HRESULT>(0x80041002), ErrorOf([&] {
                  Object(Object(address.Get(), L"Qualifiers_").Get(), L"Item", {key.Get()});
              }));

    ComPtr<IDispatch> path = Object(config.Get(), L"Path_");
    EXPECT_EQ(L"Win32_NetworkAdapterConfiguration.Index=1", Text(path.Get(), L"RelPath"));
    const std::wstring full = Text(path.Get(), L"Path");
    EXPECT_EQ(0u, full.find(L"\\\\"));
    EXPECT_NE(std::wstring::npos,
              full.find(L"\\root\\cimv2:Win32_NetworkAdapterConfiguration.Index=1"));

    const std::wstring mof = CallMethod(config.Get(), L"GetObjectText_").Get().bstrVal;
    EXPECT_EQ(0u, mof.find(L"\ninstance of Win32_NetworkAdapterConfiguration\n{\n"));
    EXPECT_NE(std::wstring::npos, mof.find(L"\tIPAddress = {\"192.168.1.20\"};\n"));
    EXPECT_NE(std::wstring::npos, mof.find(L"\tDHCPEnabled = FALSE;\n"));
    EXPECT_EQ(std::wstring::npos, mof.find(L"DHCPServer")) << "null properties are left out";
}

TEST_F(SimulatedWmiTest, MethodsDescribeTheirParametersAndCodes) {
    ComPtr<IDispatch> services = BindServices();
    ScopedVariant className(L"Win32_NetworkAdapterConfiguration"), amended(0x20000), plain(0);
    ComPtr<IDispatch> cls = Object(services.Get(), L"Get", {className.Get(), amended.Get()});
    ComPtr<IDispatch> methods = Object(cls.Get(), L"Methods_");
    EXPECT_EQ((std::vector<std::wstring>{L"EnableDHCP", L"EnableStatic", L"SetGateways",
                                         L"SetDNSServerSearchOrder"}),
              Names(methods.Get()));
    ScopedVariant enableStatic(L"EnableStatic"), enableDhcp(L"EnableDHCP");
    ComPtr<IDispatch> method = Object(methods.Get(), L"Item", {enableStatic.Get()});
    ComPtr<IDispatch> in = Object(method.Get(), L"InParameters");
    ComPtr<IDispatch> parameters = Object(in.Get(), L"Properties_");
    EXPECT_EQ((std::vector<std::wstring>{L"IPAddress", L"SubnetMask"}), Names(parameters.Get()));
    for (auto& p : Objects(parameters.Get())) {
        EXPECT_EQ(L"8", Text(p.Get(), L"CIMType"));
        EXPECT_EQ(L"-1", Text(p.Get(), L"IsArray"));
        EXPECT_EQ((std::vector<std::wstring>{L"CIMTYPE", L"ID", L"In"}),
                  Names(Object(p.Get(), L"Qualifiers_").Get()));
    }
    EXPECT_EQ(VT_NULL,
              GetProperty(Object(methods.Get(), L"Item", {enableDhcp.Get()}).Get(), L"InParameters")
                  .Type());
    EXPECT_EQ(
        (std::vector<std::wstring>{L"Implemented", L"MappingStrings", L"ValueMap", L"Values"}),
        Names(Object(method.Get(), L"Qualifiers_").Get()));
    // Descriptive texts come only with amended qualifiers, as WMI gives them.
    ComPtr<IDispatch> unamended = Object(services.Get(), L"Get", {className.Get(), plain.Get()});
    ComPtr<IDispatch> bare =
        Object(Object(unamended.Get(), L"Methods_").Get(), L"Item", {enableStatic.Get()});
    EXPECT_EQ((std::vector<std::wstring>{L"Implemented", L"MappingStrings", L"ValueMap"}),
              Names(Object(bare.Get(), L"Qualifiers_").Get()));
    // Class objects describe methods; only instances carry them out.
    EXPECT_EQ(static_cast<HRESULT>(0x8004102E),
              ErrorOf([&] { CallMethod(cls.Get(), L"EnableDHCP"); }));
    EXPECT_TRUE(Wmi->Calls().empty());
}

TEST_F(SimulatedWmiTest, AddedClassesServeValueFormsTheAdaptersLack) {
    ComPtr<IDispatch> services = BindServices();
    Wmi->AddClass(
        L"Sim_Sample",
        {{L"Name", 8, false, true}, {L"Empty", 8, true}, {L"Embedded", 13}, {L"Ratio", 5}});
    SAFEARRAYBOUND none{0, 0};
    ScopedVariant name(L"a"), empty, embedded;
    empty.SetArray(SafeArrayCreate(VT_VARIANT, 1, &none), VT_VARIANT);
    ComPtr<IDispatch> adapter = Query(services.Get(), L"select * from Win32_NetworkAdapter")[0];
    embedded.Ptr()->vt = VT_DISPATCH;
    embedded.Ptr()->pdispVal = adapter.Detach();
    ScopedVariant ratio;
    ratio.Ptr()->vt = VT_R8;
    ratio.Ptr()->dblVal = 0.5;
    Wmi->AddInstance(L"Sim_Sample", {name.Get(), empty.Get(), embedded.Get(), ratio.Get()});

    auto rows =
        Query(services.Get(), L"select * from Sim_Sample where Name = 'A' and Ratio <> 'x'");
    ASSERT_EQ(1u, rows.size());
    ScopedVariant list = GetProperty(rows[0].Get(), L"Empty");
    ASSERT_EQ(VT_ARRAY | VT_VARIANT, list.Type());
    EXPECT_EQ(0u, SafeArrayStrings(list.Get().parray).size());
    ScopedVariant embeddedName(L"Embedded");
    EXPECT_EQ(L"13", Text(Object(Object(rows[0].Get(), L"Properties_").Get(), L"Item",
                                 {embeddedName.Get()})
                              .Get(),
                          L"CIMType"));
    const std::wstring mof = CallMethod(rows[0].Get(), L"GetObjectText_").Get().bstrVal;
    EXPECT_NE(std::wstring::npos, mof.find(L"Embedded = \ninstance of Win32_NetworkAdapter\n{"));
    ScopedVariant path(L"Sim_Sample.Name=\"a\"");
    EXPECT_EQ(L"a", Text(Object(services.Get(), L"Get", {path.Get()}).Get(), L"Name"));
    EXPECT_THROW(Wmi->AddClass(L"win32_networkadapter", {}), Exception);
    Wmi->RemoveAddedClasses();
    EXPECT_EQ(static_cast<HRESULT>(0x80041010),
              ErrorOf([&] { Query(services.Get(), L"select * from Sim_Sample"); }));
}

TEST_F(SimulatedWmiTest, ObjectTextShowsArraysOfStringsAsWellAsOfVariants) {
    ComPtr<IDispatch> services = BindServices();
    Wmi->AddClass(L"Sim_Sample", {{L"Name", 8, false, true}, {L"Names", 8, true}});
    ScopedVariant name(L"a"), names;
    names.SetArray(ScopedSafeArray::OfStrings({L"x", L"y"}, 0).Release(), VT_BSTR);
    Wmi->AddInstance(L"Sim_Sample", {name.Get(), names.Get()});
    auto rows = Query(services.Get(), L"select * from Sim_Sample");
    ASSERT_EQ(1u, rows.size());
    const std::wstring mof = CallMethod(rows[0].Get(), L"GetObjectText_").Get().bstrVal;
    EXPECT_NE(std::wstring::npos, mof.find(L"Names = {\"x\", \"y\"};"));
    Wmi->RemoveAddedClasses();
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
    EXPECT_EQ(12u, Names(Object(objects[0].Get(), L"Properties_").Get()).size());
}

TEST_F(SimulatedWmiTest, ExecMethodTakesItsArgumentsFromInParameters) {
    ComPtr<IDispatch> services = BindServices();
    ComPtr<IDispatch> config =
        Query(services.Get(), L"select * from Win32_NetworkAdapterConfiguration")[1];
    ScopedVariant name(L"SetGateways");
    ComPtr<IDispatch> method =
        Object(Object(config.Get(), L"Methods_").Get(), L"Item", {name.Get()});
    ComPtr<IDispatch> in = Object(Object(method.Get(), L"InParameters").Get(), L"SpawnInstance_");
    ScopedVariant gateways;
    gateways.SetArray(ScopedSafeArray::OfStrings({L"10.8.0.1"}, 0).Release(), VT_BSTR);
    SetProperty(in.Get(), L"DefaultIPGateway", gateways.Get());
    ScopedVariant inVariant;
    inVariant.Ptr()->vt = VT_DISPATCH;
    inVariant.Ptr()->pdispVal = in.Get();
    in->AddRef();
    ComPtr<IDispatch> out = Object(config.Get(), L"ExecMethod_", {name.Get(), inVariant.Get()});
    EXPECT_EQ(L"0", Text(out.Get(), L"ReturnValue"));
    EXPECT_EQ(std::vector<std::wstring>{L"10.8.0.1"}, Wmi->Adapters()[1].DefaultIPGateway);
    ASSERT_EQ(1u, Wmi->Calls().size());
    EXPECT_EQ(L"adapter 8 SetGateways({10.8.0.1}) = 0", TSimulatedWmi::Describe(Wmi->Calls()[0]));
    Wmi->SetResult(L"SetGateways", 71);
    out = Object(config.Get(), L"ExecMethod_", {name.Get(), inVariant.Get()});
    EXPECT_EQ(L"71", Text(out.Get(), L"ReturnValue"));
}

TEST_F(SimulatedWmiTest, UninstallHandsTheClassesBackToTheSystem) {
    ComPtr<IDispatch> ours = Create(CLSID_Locator, IID_Locator);
    EXPECT_NE(nullptr, TSimDispatch::Implementation(ours.Get()));
    TSimulatedWmi::Uninstall();
    ComPtr<IUnknown> system;
    // Wine's own locator answers again.
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Locator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(system.GetAddressOf())));
    EXPECT_EQ(nullptr, TSimDispatch::Implementation(system.Get()));
    TSimulatedWmi& again = TSimulatedWmi::Install();
    EXPECT_EQ(&again, TSimulatedWmi::Installed());
    EXPECT_EQ(&again, &TSimulatedWmi::Install());
    BindServices();
    EXPECT_EQ(1, again.MonikerBinds());
}

TEST_F(SimulatedWmiTest, ADelayedMethodKeepsTheThreadsMessagesFlowing) {
    // A switch must be able to see a double click that arrives while WMI works.
    static int dispatched = 0;
    dispatched = 0;
    const WNDCLASSW wc{0,
                       [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                           if (m == WM_APP) ++dispatched;
                           return DefWindowProcW(h, m, w, l);
                       },
                       0,
                       0,
                       GetModuleHandleW(nullptr),
                       nullptr,
                       nullptr,
                       nullptr,
                       nullptr,
                       L"SimWmiPump"};
    RegisterClassW(&wc);
    HWND window =
        CreateWindowW(L"SimWmiPump", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    PostMessageW(window, WM_APP, 0, 0);
    Wmi->SetDelay(50);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(0, CallOn(1, L"EnableDHCP"));
    EXPECT_GE(GetTickCount64() - start, 40u);
    EXPECT_EQ(1, dispatched);
    DestroyWindow(window);
}

TEST_F(SimulatedWmiTest, AFailingObserverDoesNotChangeTheAnswer) {
    Wmi->OnCall = [](const TSimCall&) { throw Exception(L"log full"); };
    EXPECT_EQ(0, CallOn(1, L"EnableDHCP"));
    EXPECT_TRUE(Wmi->Adapters()[0].DHCPEnabled);
}

TEST_F(SimulatedWmiTest, ArraysByReferenceToTheArrayAreRecordedToo) {
    ScopedSafeArray addresses = ScopedSafeArray::OfStrings({L"10.0.0.5"}, 1);
    ScopedSafeArray masks = ScopedSafeArray::OfStrings({L"255.255.255.0"}, 1);
    SAFEARRAY* a = addresses.Get();
    SAFEARRAY* m = masks.Get();
    VARIANT first, second;
    first.vt = second.vt = VT_BYREF | VT_ARRAY | VT_BSTR;
    first.pparray = &a;
    second.pparray = &m;
    EXPECT_EQ(0, CallOn(1, L"EnableStatic", {first, second}));
    const TSimArgument& shape = Wmi->Calls().at(0).Args.at(0);
    EXPECT_EQ(VT_BYREF | VT_ARRAY | VT_BSTR, shape.Type);
    EXPECT_TRUE(shape.ByRef && shape.IsArray);
    EXPECT_EQ(1, shape.LowerBound);
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.5"}, Wmi->Adapters()[0].IPAddress);
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
    const GUID IID_EventSource = {
        0x27d54d92, 0x0ebe, 0x11d2, {0x8b, 0x22, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK,
              CoMarshalInterThreadInterfaceInStream(IID_EventSource, connects.Get(), &stream));
    std::wstring received;
    HRESULT waited = E_FAIL;
    std::thread worker([&] {
        ScopedComInitializer com;
        ComPtr<IDispatch> source;
        if (FAILED(CoGetInterfaceAndReleaseStream(stream, IID_EventSource,
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
    EXPECT_EQ(static_cast<HRESULT>(0x80043001),
              ErrorOf([&] { CallMethod(disconnects.Get(), L"NextEvent", {shortWait.Get()}); }));
    Wmi->RaiseMediaEvent(false, L"");
    EXPECT_EQ(L"<null>", Text(Object(disconnects.Get(), L"NextEvent", {shortWait.Get()}).Get(),
                              L"InstanceName"));
    EXPECT_EQ(static_cast<HRESULT>(0x80041010),
              ErrorOf([&] { open(L"select * from __InstanceCreationEvent"); }));
}
} // namespace
