// The adapter methods: what they change, what they refuse, the answers a test sets and the
// record of each call with the shape of its arguments.
#include <gtest/gtest-spi.h>

#include <cstring>

#include "SimFixture.h"

namespace {
TEST_F(SimulatedWmiTest, AdapterMethodsChangeTheAdapterAsWindowsDoes) {
    TArrayArg address({L"10.0.0.5"}), mask({L"255.255.0.0"}), gateway({L"10.0.0.1"}),
        dns({L"10.0.0.2", L"10.0.0.3"});
    EXPECT_EQ(0, CallOn(8, L"EnableStatic", {address.Ref(), mask.Ref()}));
    const TSimAdapter& eight = Wmi->Adapters()[1];
    EXPECT_FALSE(eight.DHCPEnabled);
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.5"}, eight.IPAddress);
    EXPECT_EQ(std::vector<std::wstring>{L"255.255.0.0"}, eight.IPSubnet);
    EXPECT_TRUE(eight.DefaultIPGateway.empty()) << "the lease's gateway goes with the lease";
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

// What Windows documents and a kind simulation would not show.
TEST_F(SimulatedWmiTest, AdapterMethodsAnswerAsWindowsDocumentsThem) {
    TArrayArg address({L"10.0.0.5"}), mask({L"255.255.0.0"}), gateway({L"10.0.0.1"}),
        own({L"10.0.0.5"});
    const TSimAdapter& one = Wmi->Adapters()[0];
    // Static already: the address is set, and the answer is 81.
    EXPECT_EQ(81, CallOn(1, L"EnableStatic", {address.Ref(), mask.Ref()}));
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.5"}, one.IPAddress);
    EXPECT_EQ(0, CallOn(1, L"SetGateways", {gateway.Ref()}));
    // EnableDHCP keeps the static gateway beside the lease's.
    EXPECT_EQ(0, CallOn(1, L"EnableDHCP"));
    EXPECT_EQ((std::vector<std::wstring>{L"10.0.0.1", L"192.168.1.1"}), one.DefaultIPGateway);
    // In DHCP mode SetGateways changes nothing.
    EXPECT_EQ(97, CallOn(1, L"SetGateways", {gateway.Ref()}));
    EXPECT_EQ(2u, one.DefaultIPGateway.size());
    // Static again, the kept gateway comes back; the adapter's own address clears it.
    EXPECT_EQ(0, CallOn(1, L"EnableStatic", {address.Ref(), mask.Ref()}));
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.1"}, one.DefaultIPGateway);
    EXPECT_EQ(0, CallOn(1, L"SetGateways", {own.Ref()}));
    EXPECT_TRUE(one.DefaultIPGateway.empty());
    // Answers are uint32: recorded and logged as the number they are.
    Wmi->SetResult(L"EnableStatic", 2147786788u);
    EXPECT_EQ(static_cast<int>(2147786788u),
              CallOn(1, L"EnableStatic", {address.Ref(), mask.Ref()}));
    EXPECT_EQ(2147786788u, Wmi->Calls().back().Result);
    EXPECT_NE(TSimulatedWmi::Describe(Wmi->Calls().back()).find(L"= 2147786788"),
              std::wstring::npos);
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
    EXPECT_EQ(81, CallOn(1, L"EnableStatic", {address.Ref(), mask.Ref()}));
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
    EXPECT_EQ(L"adapter 1 EnableStatic({10.0.0.5}, {255.255.255.0}) = 81",
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

TEST_F(SimulatedWmiTest, ArraysByReferenceToTheArrayAreRecordedToo) {
    ScopedSafeArray addresses = ScopedSafeArray::OfStrings({L"10.0.0.5"}, 1);
    ScopedSafeArray masks = ScopedSafeArray::OfStrings({L"255.255.255.0"}, 1);
    SAFEARRAY* a = addresses.Get();
    SAFEARRAY* m = masks.Get();
    VARIANT first, second;
    first.vt = second.vt = VT_BYREF | VT_ARRAY | VT_BSTR;
    first.pparray = &a;
    second.pparray = &m;
    EXPECT_EQ(81, CallOn(1, L"EnableStatic", {first, second})) << "adapter 1 is static already";
    const TSimArgument& shape = Wmi->Calls().at(0).Args.at(0);
    EXPECT_EQ(VT_BYREF | VT_ARRAY | VT_BSTR, shape.Type);
    EXPECT_TRUE(shape.ByRef && shape.IsArray);
    EXPECT_EQ(1, shape.LowerBound);
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.5"}, Wmi->Adapters()[0].IPAddress);
}

TEST_F(SimulatedWmiTest, ExecMethodTakesItsArgumentsFromInParameters) {
    ComPtr<IDispatch> services = BindServices();
    ComPtr<IDispatch> config =
        Query(services.Get(), L"select * from Win32_NetworkAdapterConfiguration")[0];
    ScopedVariant name(L"SetGateways");
    ComPtr<IDispatch> method =
        Object(Object(config.Get(), L"Methods_").Get(), L"Item", {name.Get()});
    ComPtr<IDispatch> in = Object(Object(method.Get(), L"InParameters").Get(), L"SpawnInstance_");
    ScopedVariant gateways;
    gateways.SetArray(ScopedSafeArray::OfStrings({L"10.8.0.1"}, 0).Release(), VT_BSTR);
    SetProperty(in.Get(), L"DefaultIPGateway", gateways.Get());
    ScopedVariant inVariant;
    inVariant.SetDispatch(in.Get());
    ComPtr<IDispatch> out = Object(config.Get(), L"ExecMethod_", {name.Get(), inVariant.Get()});
    EXPECT_EQ(L"0", Text(out.Get(), L"ReturnValue"));
    EXPECT_EQ(std::vector<std::wstring>{L"10.8.0.1"}, Wmi->Adapters()[0].DefaultIPGateway);
    ASSERT_EQ(1u, Wmi->Calls().size());
    EXPECT_EQ(L"adapter 1 SetGateways({10.8.0.1}) = 0", TSimulatedWmi::Describe(Wmi->Calls()[0]));
    Wmi->SetResult(L"SetGateways", 71);
    out = Object(config.Get(), L"ExecMethod_", {name.Get(), inVariant.Get()});
    EXPECT_EQ(L"71", Text(out.Get(), L"ReturnValue"));
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

TEST_F(SimulatedWmiTest, AFailingProbeFailsItsTestWithoutChangingTheAnswer) {
    // The probe runs inside a COM method, where its exception cannot travel; it must still
    // reach the test instead of vanishing.
    Wmi->OnCall = [](const TSimCall&) { throw Exception(L"probe broke"); };
    ::testing::TestPartResultArray failures;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
        EXPECT_EQ(0, CallOn(1, L"EnableDHCP"));
    }
    ASSERT_EQ(1, failures.size());
    EXPECT_TRUE(failures.GetTestPartResult(0).nonfatally_failed());
    EXPECT_NE(nullptr, std::strstr(failures.GetTestPartResult(0).message(), "probe broke"));
    EXPECT_TRUE(Wmi->Adapters()[0].DHCPEnabled);
    EXPECT_FALSE(Wmi->Calls().at(0).Raised);
}
} // namespace

namespace {
TEST_F(SimulatedWmiTest, TheProgramsProviderReportsEachFinishedCallWithoutAProbe) {
    // Simulation mode installs the provider alone: its log hears of every call once it answered.
    TSimulatedWmi::Uninstall();
    TSimProvider& provider = TSimProvider::Install();
    std::vector<std::wstring> log;
    provider.OnCall = [&](const TSimCall& call) { log.push_back(TSimProvider::Describe(call)); };
    provider.SetDelay(20);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(0, CallOn(8, L"SetDNSServerSearchOrder"));
    EXPECT_GE(GetTickCount64() - start, 15u);
    EXPECT_EQ(std::vector<std::wstring>{L"adapter 8 SetDNSServerSearchOrder() = 0"}, log);
    EXPECT_EQ(std::vector<std::wstring>{L"192.168.8.1"},
              provider.Adapters()[1].DNSServerSearchOrder);
}
} // namespace
