// The query dataset: opening, the cursor over the lazily read rows, fields and their values,
// Locate, and the controls bound through a data source.
#include <gtest/gtest.h>

#include "SimulatedWmiFixture.h"
#include "support/Raised.h"
#include "wmi/CimValue.h"
#include "wmi/WmiAutomation.h"

namespace {

using WmiDataSetTest = SimulatedWmiTest;

std::vector<int> Walk(TWmiQuery* query) {
    std::vector<int> seen;
    for (query->First(); !query->Eof(); query->Next())
        seen.push_back(query->FieldByName(L"Index")->AsInteger());
    return seen;
}

TEST_F(WmiDataSetTest, OpenRunsTheWholeTextOnTheConnectionAndStandsOnTheFirstRow) {
    Configurations->Open();
    EXPECT_TRUE(Connection->Connected());
    ASSERT_EQ(Wmi.QueryDetails().size(), 1u);
    EXPECT_EQ(Wmi.QueryDetails()[0].Text,
              L"select * from Win32_NetworkAdapterConfiguration\r\nwhere IPEnabled = true\r\n");
    EXPECT_EQ(Wmi.QueryDetails()[0].Language, L"WQL");
    EXPECT_EQ(Wmi.QueryDetails()[0].Flags, 48);
    EXPECT_EQ(Configurations->RecNo(), 1);
    EXPECT_TRUE(Configurations->Bof());
    EXPECT_FALSE(Configurations->Eof());
    EXPECT_EQ(Text(L"Description"), L"Intel(R) PRO/1000 MT Network Connection");
    EXPECT_EQ(Index(), 1);
    EXPECT_TRUE(Configurations->FieldByName(L"ipenabled")->AsBoolean());
    Configurations->Close();
    Configurations->SetAsynchronous(false);
    Configurations->Open();
    EXPECT_EQ(Wmi.QueryDetails().back().Flags, 32);
}

TEST_F(WmiDataSetTest, FieldsFollowThePropertiesTypesAndQualifiers) {
    Configurations->Open();
    const TFieldDefs& defs = Configurations->FieldDefs();
    ASSERT_EQ(Configurations->FieldCount(), defs.size());
    EXPECT_EQ(defs[0]->Name, L"DefaultIPGateway"); // the provider's order
    EXPECT_EQ(defs[0]->FieldNo, 1);
    EXPECT_EQ(defs[0]->DataType, ftVariant);
    EXPECT_TRUE(static_cast<TWmiFieldDef&>(*defs[0]).IsArray);
    const TFieldDef* index = FindFieldDef(defs, L"Index");
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->DataType, ftInteger);
    EXPECT_TRUE(index->Required);
    EXPECT_TRUE(index->ReadOnly);
    const TFieldDef* description = FindFieldDef(defs, L"Description");
    EXPECT_EQ(description->DataType, ftWideString);
    EXPECT_EQ(description->Size, 65535);
    EXPECT_TRUE(description->ReadOnly);
    EXPECT_FALSE(description->Required);
    EXPECT_EQ(FindFieldDef(defs, L"IPEnabled")->DataType, ftBoolean);
    EXPECT_FALSE(FindFieldDef(defs, L"IPEnabled")->ReadOnly);
    EXPECT_EQ(FindFieldDef(defs, L"DHCPLeaseObtained")->DataType, ftDateTime);
    EXPECT_EQ(Configurations->Field(0)->DisplayWidth(), 1);
}

TEST_F(WmiDataSetTest, ArraysReadInBracesNullAsEmptyAndDatesAsDates) {
    AddLoopback();
    Configurations->Open();
    EXPECT_EQ(Text(L"IPAddress"), L"{192.168.1.20, fe80::20c:29ff:fe4f:8e35}");
    EXPECT_EQ(Text(L"DNSServerSearchOrder"), L"{192.168.1.1, 192.168.1.2}");
    EXPECT_EQ(Text(L"DHCPServer"), L""); // a static adapter has no lease
    Configurations->Next();
    EXPECT_EQ(Text(L"MACAddress"), L"00:E0:4C:68:1A:2B");
    ScopedVariant lease = Configurations->FieldByName(L"DHCPLeaseObtained")->Value();
    ASSERT_EQ(lease.Type(), VT_DATE);
    EXPECT_DOUBLE_EQ(lease.Get().date, CimDateTimeToDate(L"20261201083000.000000+480"));
    Configurations->Next();
    EXPECT_EQ(Text(L"IPAddress"), L"");
    EXPECT_TRUE(Configurations->FieldByName(L"IPAddress")->IsNull());
}

TEST_F(WmiDataSetTest, WalkGivesEveryRowOnceAndMovesBack) {
    AddLoopback();
    Configurations->Open();
    EXPECT_EQ(Walk(Configurations), (std::vector<int>{1, 8, 12}));
    EXPECT_TRUE(Configurations->Eof());
    EXPECT_EQ(Configurations->RecNo(), 3); // the last row stays current at the end
    Configurations->Prior();
    EXPECT_EQ(Configurations->RecNo(), 2);
    Configurations->Prior();
    Configurations->Prior();
    EXPECT_TRUE(Configurations->Bof());
    EXPECT_EQ(Index(), 1);
    Configurations->Last();
    EXPECT_EQ(Index(), 12);
    EXPECT_TRUE(Configurations->Eof());
    Configurations->SetRecNo(2);
    EXPECT_EQ(Index(), 8);
    EXPECT_EQ(Walk(Configurations), (std::vector<int>{1, 8, 12}));
    EXPECT_EQ(Wmi.Queries().size(), 1u); // all from the rows read once
}

TEST_F(WmiDataSetTest, RecordCountInMidWalkKeepsTheCursor) {
    AddLoopback();
    Wmi.Adapters()[1].IPEnabled = false;
    Configurations->Open();
    Configurations->Next();
    EXPECT_EQ(Configurations->RecordCount(), 2);
    EXPECT_EQ(Index(), 12);
    Configurations->Next();
    EXPECT_TRUE(Configurations->Eof());
    Configurations->Close();
    EXPECT_EQ(Configurations->RecordCount(), 0);
}

TEST_F(WmiDataSetTest, QueryWithoutRowsOpensWithoutFields) {
    Configurations->SetWQL({L"select * from   Win32_NetworkAdapter  where index=99"});
    Configurations->Open();
    EXPECT_TRUE(Configurations->Active());
    EXPECT_EQ(Configurations->RecordCount(), 0);
    EXPECT_TRUE(Configurations->Eof());
    EXPECT_EQ(Configurations->FieldCount(), 0u);
    EXPECT_EQ(Configurations->RecNo(), 0);
    EXPECT_EQ(Configurations->GetWmiObject(), nullptr);
    Configurations->First();
    Configurations->Next();
    EXPECT_TRUE(Configurations->Eof());
    EXPECT_FALSE(Configurations->Locate(L"Index", ScopedVariant(1).Get()));
}

TEST_F(WmiDataSetTest, LocateComparesAsTextAndLeavesTheCursorWhenNothingMatches) {
    Configurations->Open();
    EXPECT_TRUE(Configurations->Locate(L"Index", ScopedVariant(8).Get()));
    EXPECT_EQ(Text(L"IPAddress"), L"{192.168.8.100}");
    EXPECT_TRUE(Configurations->Locate(L"Index", ScopedVariant(L"1").Get()));
    EXPECT_EQ(Configurations->RecNo(), 1);
    Configurations->Next();
    EXPECT_FALSE(Configurations->Locate(L"Index", ScopedVariant(5).Get()));
    EXPECT_EQ(Index(), 8);
    const wchar_t* realtek = L"realtek usb gbe family controller";
    EXPECT_FALSE(Configurations->Locate(L"Description", ScopedVariant(realtek).Get()));
    EXPECT_TRUE(
        Configurations->Locate(L"Description", ScopedVariant(realtek).Get(), loCaseInsensitive));
    EXPECT_TRUE(
        Configurations->Locate(L"Description", ScopedVariant(L"INTEL").Get(), loPartialKey));
    EXPECT_EQ(Index(), 1);
    EXPECT_TRUE(Configurations->Locate(L"IPAddress", ScopedVariant(L"{192.168.8.100}").Get()));
    EXPECT_EQ(Index(), 8);
}

TEST_F(WmiDataSetTest, LocateOnSeveralFieldsAndItsErrors) {
    Adapters->Open();
    ScopedVariant keys = TextArray({L"8", L"以太网 2"});
    EXPECT_TRUE(Adapters->Locate(L"Index; NetConnectionID", keys.Get()));
    EXPECT_EQ(Adapters->RecNo(), 2);
    ScopedVariant wrong = TextArray({L"8", L"以太网"});
    EXPECT_FALSE(Adapters->Locate(L"Index;NetConnectionID", wrong.Get()));
    EXPECT_EQ(RaisedMessage<EDatabaseError>(
                  [&] { Adapters->Locate(L"Index;NetConnectionID", ScopedVariant(8).Get()); }),
              L"Incorrectly formed filter expression");
    EXPECT_EQ(RaisedMessage<EDatabaseError>(
                  [&] { Adapters->Locate(L"IPEnabled", ScopedVariant(true).Get()); }),
              L"Field 'IPEnabled' not found");
    EXPECT_EQ(Adapters->RecNo(), 2);
}

TEST_F(WmiDataSetTest, NewWqlGivesNewColumns) {
    Configurations->Open();
    EXPECT_NE(Configurations->FindField(L"IPEnabled"), nullptr);
    Configurations->Close();
    Configurations->WQL() = {L"select * from   Win32_NetworkAdapter  where index=8"};
    Configurations->Open();
    EXPECT_EQ(Configurations->FindField(L"IPEnabled"), nullptr);
    EXPECT_EQ(Text(L"NetConnectionID"), L"以太网 2");
    EXPECT_EQ(Wmi.Queries().back(), L"select * from   Win32_NetworkAdapter  where index=8\r\n");
    // A different text closes an open query; the same one leaves it open.
    Configurations->SetWQL({L"select * from   Win32_NetworkAdapter  where index=8"});
    EXPECT_TRUE(Configurations->Active());
    Configurations->SetWQL({L"select * from Win32_NetworkAdapterConfiguration"});
    EXPECT_FALSE(Configurations->Active());
}

TEST_F(WmiDataSetTest, OpenRefusesWithoutTextOrConnection) {
    Configurations->SetWQL({L"  ", L""});
    EXPECT_EQ(RaisedMessage<EDatabaseError>([&] { Configurations->Open(); }),
              L"WQL is not defined");
    Configurations->SetWQL({L"select * from Win32_NetworkAdapter"});
    Configurations->SetConnection(nullptr);
    EXPECT_EQ(RaisedMessage<EDatabaseError>([&] { Configurations->Open(); }),
              L"Connection is not defined");
    EXPECT_FALSE(Configurations->Active());
}

TEST_F(WmiDataSetTest, RejectedQueryRaisesFromOpenAndLeavesItClosed) {
    Configurations->SetWQL({L"select * from Win32_Nothing"});
    EXPECT_EQ(RaisedMessage<TWmiException>([&] { Configurations->Open(); }),
              L"The specified class is not valid.: 80041010");
    EXPECT_FALSE(Configurations->Active());
    Configurations->SetWQL({L"select * from Win32_NetworkAdapter"});
    Configurations->Open();
    EXPECT_TRUE(Configurations->Active());
}

TEST_F(WmiDataSetTest, ValuesAreConvertedByFieldType) {
    Adapters->Open();
    ScopedVariant speed = Adapters->FieldByName(L"Speed")->Value(); // uint64 comes as text
    EXPECT_EQ(speed.Type(), VT_I8);
    EXPECT_EQ(speed.Get().llVal, 1000000000LL);

    Wmi.AddClass(
        L"Sim_Sample",
        {{L"Name", 8, false, true}, {L"Empty", 8, true}, {L"Embedded", 13}, {L"Small", 17}});
    SAFEARRAYBOUND none{0, 0};
    ScopedVariant name(L"a"), empty, embedded, small;
    empty.SetArray(SafeArrayCreate(VT_VARIANT, 1, &none), VT_VARIANT);
    embedded.SetDispatch(Adapters->GetWmiObject().Get());
    small.SetByte(7);
    Wmi.AddInstance(L"Sim_Sample", {name.Get(), empty.Get(), embedded.Get(), small.Get()});
    Configurations->SetWQL({L"select * from Sim_Sample"});
    Configurations->Open();
    EXPECT_EQ(Text(L"Empty"), L"{}");
    EXPECT_EQ(Configurations->FieldByName(L"Small")->DataType(), ftWord);
    EXPECT_EQ(Configurations->FieldByName(L"Small")->AsInteger(), 7);
    // The embedded object is a column all the same, but its value cannot be read.
    EXPECT_EQ(Configurations->FieldByName(L"Embedded")->DataType(), ftInterface);
    EXPECT_EQ(RaisedMessage<TWmiException>([&] { Text(L"Embedded"); }),
              L"Unknown data type in field Embedded");
}

TEST_F(WmiDataSetTest, BoundControlsFollowTheRowUnlessSuspended) {
    auto* source = Owner.Own<TDataSource>();
    source->SetDataSet(Configurations);
    TFieldDataLink link;
    std::vector<std::wstring> shown;
    link.OnDataChange = [&](const std::wstring& text) { shown.push_back(text); };
    link.SetFieldName(L"IPAddress");
    link.SetDataSource(source);
    Configurations->Open();
    Configurations->Next();
    EXPECT_EQ(shown.back(), L"{192.168.8.100}");
    shown.clear();
    Configurations->DisableControls();
    Configurations->Locate(L"Index", ScopedVariant(1).Get());
    Configurations->Locate(L"Index", ScopedVariant(8).Get());
    Configurations->Locate(L"Index", ScopedVariant(1).Get());
    EXPECT_TRUE(shown.empty());
    Configurations->EnableControls();
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"{192.168.1.20, fe80::20c:29ff:fe4f:8e35}"}));
    Configurations->Close();
    EXPECT_EQ(shown.back(), L"");
    Owner.Destroy(Configurations);
    EXPECT_EQ(source->DataSet(), nullptr);
}

TEST_F(WmiDataSetTest, EventsAroundOpeningScrollingAndRefreshing) {
    std::vector<std::string> events;
    auto record = [&](const char* name) {
        return [&events, name](TDataSet*) { events.push_back(name); };
    };
    Configurations->BeforeOpen = record("BeforeOpen");
    Configurations->AfterOpen = record("AfterOpen");
    Configurations->BeforeScroll = record("BeforeScroll");
    Configurations->AfterScroll = record("AfterScroll");
    Configurations->BeforeClose = record("BeforeClose");
    Configurations->AfterClose = record("AfterClose");
    Configurations->BeforeRefresh = record("BeforeRefresh");
    Configurations->AfterRefresh = record("AfterRefresh");
    Configurations->Open();
    Configurations->Next();
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeOpen", "AfterOpen", "AfterScroll",
                                                "BeforeScroll", "AfterScroll"}));
    events.clear();
    Wmi.Adapters()[0].Description = L"Renamed";
    Configurations->Refresh();
    EXPECT_EQ(events.front(), "BeforeRefresh");
    EXPECT_EQ(events.back(), "AfterRefresh");
    EXPECT_EQ(Text(L"Description"), L"Renamed"); // read anew, back on the first row
    events.clear();
    Configurations->Close();
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeClose", "AfterClose"}));
}

TEST_F(WmiDataSetTest, DestroyedConnectionClosesTheQueryAndIsForgotten) {
    Configurations->Open();
    Owner.Destroy(Connection);
    EXPECT_FALSE(Configurations->Active());
    EXPECT_EQ(Configurations->Connection(), nullptr);
}

TEST_F(WmiDataSetTest, StoredActiveOpensWhenLoadingEnds) {
    TComponent form;
    form.BeginLoading();
    auto* connection = form.Own<TWmiConnection>();
    auto* query = form.Own<TWmiQuery>();
    query->SetConnection(connection);
    query->SetWQL({L"select * from Win32_NetworkAdapterConfiguration"});
    query->SetActive(true);
    EXPECT_TRUE(Wmi.Queries().empty());
    form.EndLoading();
    EXPECT_TRUE(query->Active());
    EXPECT_EQ(query->RecordCount(), 2);
}

TEST_F(WmiDataSetTest, StoredActiveSurvivesTheSettingsReadAfterIt) {
    TComponent form;
    form.BeginLoading();
    auto* connection = form.Own<TWmiConnection>();
    auto* query = form.Own<TWmiQuery>();
    query->SetConnection(connection);
    query->SetActive(true);
    query->SetWQL({L"select * from Win32_NetworkAdapterConfiguration"});
    query->SetAsynchronous(false);
    query->SetIrregularView(true);
    form.EndLoading();
    ASSERT_TRUE(query->Active());
    EXPECT_EQ(Wmi.QueryDetails().back().Flags, 32);
    // Once open, a change of either closes it.
    query->SetAsynchronous(true);
    EXPECT_FALSE(query->Active());
    query->Open();
    query->SetIrregularView(false);
    EXPECT_FALSE(query->Active());
}

TEST_F(WmiDataSetTest, ObjectSourceGivesTheCurrentRowsObject) {
    IWmiObjectSource* source = Configurations;
    EXPECT_EQ(source->GetWmiObject(), nullptr);
    EXPECT_EQ(source->GetComponent(), Configurations);
    Configurations->Open();
    Configurations->Next();
    EXPECT_EQ(WmiInt(WmiGet(source->GetWmiObject().Get(), L"Index")), 8);
    EXPECT_EQ(source->GetWmiServices(), Connection->GetWmiServices());
}

TEST_F(WmiDataSetTest, ClosedQueryListsItsPrototypesFields) {
    Adapters->UpdateFieldDefs();
    EXPECT_FALSE(Connection->Connected()); // a connection of its own
    ASSERT_FALSE(Wmi.QueryDetails().empty());
    EXPECT_EQ(Wmi.QueryDetails().back().Flags, 50);
    EXPECT_NE(FindFieldDef(Adapters->FieldDefs(), L"NetConnectionID"), nullptr);
}

TEST_F(WmiDataSetTest, IrregularViewHoldsTheWholeObject) {
    Configurations->SetIrregularView(true);
    Configurations->Open();
    ASSERT_EQ(Configurations->FieldCount(), 1u);
    EXPECT_EQ(Configurations->Field(0)->FieldName(), L"Object");
    EXPECT_NE(
        Configurations->Field(0)->AsString().find(L"instance of Win32_NetworkAdapterConfiguration"),
        std::wstring::npos);
    EXPECT_NE(FindFieldDef(Configurations->RowFieldDefs(), L"IPAddress"), nullptr);
    EXPECT_TRUE(Configurations->Locate(L"Index", ScopedVariant(8).Get()));
    EXPECT_EQ(Configurations->RecNo(), 2);
}

} // namespace
