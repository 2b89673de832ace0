// Objects: their properties in WMI forms, Path_, MOF text, Methods_ and qualifiers.
#include "SimFixture.h"

namespace {
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
    // IPv6 entries after the IPv4 ones, as Windows lists them on a network with an IPv6 router.
    EXPECT_EQ((std::vector<std::wstring>{L"192.168.1.20", L"fe80::20c:29ff:fe4f:8e35"}),
              List(first, L"IPAddress"));
    EXPECT_EQ((std::vector<std::wstring>{L"255.255.255.0", L"64"}), List(first, L"IPSubnet"));
    EXPECT_EQ((std::vector<std::wstring>{L"192.168.1.1", L"192.168.1.2"}),
              List(first, L"DNSServerSearchOrder"));
    EXPECT_EQ((std::vector<std::wstring>{L"fe80::1"}), List(first, L"DefaultIPGateway"));
    EXPECT_EQ(L"True", Text(configs[1].Get(), L"DHCPEnabled"));
    // Objects keep the values they were read with.
    Wmi->Adapters()[0].IPAddress = {L"10.1.1.1"};
    EXPECT_EQ(L"192.168.1.20", List(first, L"IPAddress").front());
    // A disconnected adapter shows no address, whatever is set for the next connect.
    Wmi->Adapters()[0].MediaConnected = false;
    auto unplugged = Query(services.Get(), L"select * from Win32_NetworkAdapterConfiguration");
    EXPECT_EQ(VT_NULL, GetProperty(unplugged[0].Get(), L"IPAddress").Type());
    EXPECT_EQ(VT_NULL, GetProperty(unplugged[0].Get(), L"DefaultIPGateway").Type());
    EXPECT_EQ(static_cast<HRESULT>(DISP_E_UNKNOWNNAME),
              ErrorOf([&] { GetProperty(first, L"NoSuchProperty"); }));
}

TEST_F(SimulatedWmiTest, PropertiesPathAndTextDescribeTheObject) {
    ComPtr<IDispatch> services = BindServices();
    ComPtr<IDispatch> config =
        Query(services.Get(), L"select * from Win32_NetworkAdapterConfiguration")[0];
    ComPtr<IDispatch> properties = Object(config.Get(), L"Properties_");
    EXPECT_EQ(
        (std::vector<std::wstring>{L"DefaultIPGateway", L"Description", L"DHCPEnabled",
                                   L"DHCPLeaseObtained", L"DHCPServer", L"DNSServerSearchOrder",
                                   L"GatewayCostMetric", L"Index", L"InterfaceIndex", L"IPAddress",
                                   L"IPEnabled", L"IPSubnet", L"MACAddress", L"SettingID"}),
        Names(properties.Get()));
    EXPECT_EQ(L"14", Text(properties.Get(), L"Count"));
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
    EXPECT_EQ(L"True", Text(address.Get(), L"IsArray"));
    EXPECT_EQ(VT_ARRAY | VT_VARIANT, GetProperty(address.Get(), L"Value").Type());
    ScopedVariant indexName(L"Index"), key(L"KEY"), readOnly(L"ReadOnly");
    ComPtr<IDispatch> index = Object(properties.Get(), L"Item", {indexName.Get()});
    EXPECT_EQ(L"19", Text(index.Get(), L"CIMType"));
    ComPtr<IDispatch> qualifiers = Object(index.Get(), L"Qualifiers_");
    EXPECT_EQ(L"True", Text(Object(qualifiers.Get(), L"Item", {key.Get()}).Get(), L"Value"));
    EXPECT_EQ(L"True", Text(Object(qualifiers.Get(), L"Item", {readOnly.Get()}).Get(), L"Value"));
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
    EXPECT_NE(std::wstring::npos,
              mof.find(L"\tIPAddress = {\"192.168.1.20\", \"fe80::20c:29ff:fe4f:8e35\"};\n"));
    EXPECT_NE(std::wstring::npos, mof.find(L"\tDHCPEnabled = FALSE;\n"));
    EXPECT_EQ(std::wstring::npos, mof.find(L"DHCPServer")) << "null properties are left out";
}

TEST_F(SimulatedWmiTest, MethodsDescribeTheirParametersAndCodes) {
    ComPtr<IDispatch> services = BindServices();
    ScopedVariant className(L"Win32_NetworkAdapterConfiguration"),
        amended(kWbemFlagUseAmendedQualifiers), plain(0);
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
        EXPECT_EQ(L"True", Text(p.Get(), L"IsArray"));
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
    embedded.SetDispatch(adapter.Get());
    ScopedVariant ratio;
    ratio.SetDouble(0.5);
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
} // namespace
