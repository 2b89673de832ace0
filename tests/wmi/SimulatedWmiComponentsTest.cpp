// The connection, query and method components against the simulated provider, the way the
// main window and the configuration dialog use them.
#include <gtest/gtest.h>

#include "fakes/SimulatedWmi.h"
#include "wmi/WmiDataSet.h"
#include "wmi/WmiException.h"
#include "wmi/WmiMethod.h"

namespace {

class SimulatedWmiComponents : public ::testing::Test {
protected:
    SimulatedWmiComponents() : Wmi(TSimulatedWmi::Install()) {
        Wmi.SetDefaultAdapters();
        Wmi.ClearCalls();
        Configurations->SetConnection(Connection);
        Configurations->SetWQL({L"select * from Win32_NetworkAdapterConfiguration", L"where IPEnabled = true"});
        Adapters->SetConnection(Connection);
        Adapters->SetWQL({L"select * from Win32_NetworkAdapter", L"where AdapterType = 'Ethernet 802.3'"});
    }
    ~SimulatedWmiComponents() override {
        Owner.DestroyComponents();
        Wmi.RemoveAddedClasses();
        TSimulatedWmi::Uninstall();
    }
    std::wstring Text(const wchar_t* field) { return Configurations->FieldByName(field)->AsString(); }

    TSimulatedWmi& Wmi;
    TComponent Owner;
    TWmiConnection* Connection = Owner.Own<TWmiConnection>();
    TWmiQuery* Configurations = Owner.Own<TWmiQuery>();
    TWmiQuery* Adapters = Owner.Own<TWmiQuery>();
};

TEST_F(SimulatedWmiComponents, ConnectionPassesItsSettingsAndOptions) {
    Connection->Credentials().SetOptions({L"__ProviderArchitecture=64", L"__RequiredArchitecture=true"});
    Connection->SetConnected(true);
    ASSERT_EQ(Wmi.Connects().size(), 1u);
    const TSimConnect& connect = Wmi.Connects()[0];
    EXPECT_EQ(connect.Server, L"");
    EXPECT_EQ(connect.NameSpace, L"root\\cimv2");
    EXPECT_EQ(connect.Flags, 0);
    ASSERT_TRUE(connect.HasContext);
    ASSERT_EQ(connect.Context.size(), 2u);
    EXPECT_EQ(connect.Context[0].Name, L"__ProviderArchitecture");
    EXPECT_EQ(connect.Context[0].Value, L"64");
    EXPECT_EQ(connect.Context[1].Name, L"__RequiredArchitecture");
    EXPECT_EQ(Wmi.ImpersonationLevel(), 3);

    Connection->SetMachineName(L"");
    EXPECT_TRUE(Connection->Connected());
    Connection->SetMachineName(L".");
    EXPECT_FALSE(Connection->Connected());
    Connection->Credentials().SetOptions({});
    Connection->SetConnected(true);
    EXPECT_EQ(Wmi.Connects().back().Server, L".");
    EXPECT_FALSE(Wmi.Connects().back().HasContext);
}

TEST_F(SimulatedWmiComponents, AdapterViewWalksLocatesAndShowsArrays) {
    Configurations->Open();
    Adapters->Open();
    ASSERT_EQ(Wmi.QueryDetails().size(), 2u);
    EXPECT_EQ(Wmi.QueryDetails()[0].Text,
              L"select * from Win32_NetworkAdapterConfiguration\r\nwhere IPEnabled = true\r\n");
    EXPECT_EQ(Wmi.QueryDetails()[0].Flags, 48);
    EXPECT_EQ(Wmi.QueryDetails()[0].Language, L"WQL");

    std::vector<std::wstring> items;
    Configurations->DisableControls();
    for (Adapters->First(); !Adapters->Eof(); Adapters->Next()) {
        if (Configurations->Locate(L"Index", Adapters->FieldByName(L"Index")->Value().Get()) &&
            Configurations->FieldByName(L"IPEnabled")->AsBoolean())
            items.push_back(Adapters->FieldByName(L"Index")->AsString() + L": " +
                            Adapters->FieldByName(L"Description")->AsString());
    }
    Configurations->EnableControls();
    EXPECT_EQ(items, (std::vector<std::wstring>{L"1: Intel(R) PRO/1000 MT Network Connection",
                                                L"8: Realtek RTL8139 Family PCI Fast Ethernet NIC"}));

    ASSERT_TRUE(Configurations->Locate(L"Index", ScopedVariant(8).Get()));
    EXPECT_EQ(Text(L"MACAddress"), L"00:E0:4C:68:1A:2B");
    EXPECT_EQ(Text(L"IPAddress"), L"{192.168.8.100}");
    EXPECT_EQ(Text(L"DefaultIPGateway"), L"{192.168.8.1}");
    ASSERT_TRUE(Configurations->Locate(L"Index", ScopedVariant(L"1").Get()));
    EXPECT_EQ(Text(L"DNSServerSearchOrder"), L"{192.168.1.1, 192.168.1.2}");
    EXPECT_FALSE(Configurations->Locate(L"Index", ScopedVariant(5).Get()));
    EXPECT_EQ(Configurations->FieldByName(L"Index")->AsInteger(), 1);
    // A static adapter has no lease: null reads as empty.
    EXPECT_EQ(Text(L"DHCPServer"), L"");
}

TEST_F(SimulatedWmiComponents, RecordCountInMidWalkAndQueryWithoutRows) {
    Wmi.Adapters()[1].IPEnabled = false;
    Wmi.Adapters().push_back(Wmi.Adapters()[0]);
    Wmi.Adapters().back().Index = 12;
    Configurations->Open();
    EXPECT_EQ(Configurations->RecordCount(), 2);
    EXPECT_EQ(Configurations->FieldByName(L"Index")->AsInteger(), 1);
    Configurations->Next();
    EXPECT_EQ(Configurations->RecordCount(), 2);
    EXPECT_EQ(Configurations->FieldByName(L"Index")->AsInteger(), 12);
    Configurations->Next();
    EXPECT_TRUE(Configurations->Eof());

    Configurations->Close();
    Configurations->SetWQL({L"select * from   Win32_NetworkAdapter  where index=99"});
    Configurations->Open();
    EXPECT_EQ(Configurations->RecordCount(), 0);
    EXPECT_TRUE(Configurations->Eof());
    EXPECT_EQ(Configurations->FieldCount(), 0u);
}

TEST_F(SimulatedWmiComponents, ConnectionNameLookupWithReplacedText) {
    TWmiQuery* query = Configurations;
    query->WQL() = {L"select * from Win32_NetworkAdapterConfiguration where IPEnabled = true"};
    query->Open();
    const std::wstring index = query->FieldByName(L"Index")->AsString();
    EXPECT_NE(query->FindField(L"IPEnabled"), nullptr);
    query->Close();
    query->WQL() = {L"select * from   Win32_NetworkAdapter  where index=" + index};
    query->Open();
    EXPECT_EQ(query->FindField(L"IPEnabled"), nullptr);  // the columns of the new result
    EXPECT_EQ(query->FieldByName(L"NetConnectionID")->AsString(), L"本地连接");
    query->Close();
    EXPECT_EQ(Wmi.Queries().back(), L"select * from   Win32_NetworkAdapter  where index=1\r\n");
}

TEST_F(SimulatedWmiComponents, FieldsCarryKeyAndReadOnlyAndOddValueForms) {
    Configurations->Open();
    const TFieldDef* index = FindFieldDef(Configurations->FieldDefs(), L"Index");
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->DataType, ftInteger);
    EXPECT_TRUE(index->Required);
    EXPECT_TRUE(index->ReadOnly);
    EXPECT_FALSE(FindFieldDef(Configurations->FieldDefs(), L"IPEnabled")->Required);
    EXPECT_EQ(FindFieldDef(Configurations->FieldDefs(), L"DHCPLeaseObtained")->DataType, ftDateTime);
    Configurations->Close();

    Wmi.AddClass(L"Sim_Sample", {{L"Name", 8, false, true}, {L"Empty", 8, true}, {L"Embedded", 13}});
    SAFEARRAYBOUND none{0, 0};
    ScopedVariant name(L"a"), empty, embedded;
    empty.SetArray(SafeArrayCreate(VT_VARIANT, 1, &none), VT_VARIANT);
    Adapters->Open();
    embedded.Ptr()->vt = VT_DISPATCH;
    embedded.Ptr()->pdispVal = Adapters->GetWmiObject().Detach();
    Wmi.AddInstance(L"Sim_Sample", {name.Get(), empty.Get(), embedded.Get()});
    Configurations->SetWQL({L"select * from Sim_Sample"});
    Configurations->Open();
    EXPECT_EQ(Text(L"Empty"), L"{}");
    EXPECT_EQ(Configurations->FieldByName(L"Embedded")->DataType(), ftInterface);
    try {
        Text(L"Embedded");
        FAIL();
    } catch (const TWmiException& e) {
        EXPECT_EQ(e.Message(), L"Unknown data type in field Embedded");
    }
}

TEST_F(SimulatedWmiComponents, ClosedQueryListsItsPrototypesFields) {
    Adapters->UpdateFieldDefs();
    EXPECT_FALSE(Connection->Connected());  // a connection of its own
    ASSERT_FALSE(Wmi.QueryDetails().empty());
    EXPECT_EQ(Wmi.QueryDetails().back().Flags, 50);
    EXPECT_NE(FindFieldDef(Adapters->FieldDefs(), L"NetConnectionID"), nullptr);
}

TEST_F(SimulatedWmiComponents, MethodLoadsParametersAndQualifiersOfTheCurrentRow) {
    auto* method = Owner.Own<TWmiMethod>();
    method->SetWmiObjectSource(Configurations);  // closed: nothing to load
    EXPECT_EQ(method->InParams().Count(), 0u);
    EXPECT_EQ(method->LastWmiError(), -1);
    Configurations->Open();
    method->SetWmiMethodName(L"EnableStatic");
    ASSERT_EQ(method->InParams().Count(), 2u);
    EXPECT_EQ(method->InParams().Item(0).Name(), L"IPAddress");
    EXPECT_EQ(method->InParams().Item(1).Name(), L"SubnetMask");
    EXPECT_EQ(method->InParams().Item(1).DataType(), ftVariant);
    ASSERT_NE(method->WmiMethodQualifiers().Find(L"ValueMap"), nullptr);
    ASSERT_FALSE(Wmi.Gets().empty());
    EXPECT_EQ(Wmi.Gets().back().Path, L"Win32_NetworkAdapterConfiguration");
    EXPECT_EQ(Wmi.Gets().back().Flags, 0x20000);
    TWmiParam& result = method->OutParams().Add();
    result.SetName(L"ReturnValue");
    result.SetValue(ScopedVariant(70).Get());
    EXPECT_EQ(method->LastWmiErrorDescription(), L"Invalid IP address");
    EXPECT_TRUE(Wmi.Calls().empty());  // describing a method never runs it
}

}  // namespace
