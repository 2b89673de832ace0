// The query dataset: opening, the cursor over the lazily read rows, fields and their values,
// Locate, and the controls bound through a data source.
#include <gtest/gtest.h>

#include <cmath>

#include "FakeWmi.h"
#include "wmi/WmiDataSet.h"
#include "wmi/WmiException.h"

namespace {

const int CIM_SINT32 = 3, CIM_STRING = 8, CIM_BOOLEAN = 11, CIM_OBJECT = 13, CIM_UINT8 = 17,
          CIM_UINT64 = 21, CIM_DATETIME = 101;

ComPtr<IDispatch> Adapter(int index, const std::wstring& description, std::vector<std::wstring> addresses) {
    std::vector<TFakeProperty> p(4);
    p[0] = {L"Index", CIM_SINT32, ScopedVariant(index), false, {{L"key", true}}};
    p[1] = {L"Description", CIM_STRING, ScopedVariant(description), false, {{L"READONLY", true}, {L"key", false}}};
    p[2] = {L"IPEnabled", CIM_BOOLEAN, ScopedVariant(true)};
    p[3] = {L"IPAddress", CIM_STRING, addresses.empty() ? NullValue() : TextArray(addresses), true};
    return MakeWmiObject(L"Win32_NetworkAdapterConfiguration", std::move(p));
}

class WmiDataSetTest : public ::testing::Test {
protected:
    WmiDataSetTest() {
        Query->SetConnection(Connection);
        Query->SetWQL({L"select * from Win32_NetworkAdapterConfiguration", L"where IPEnabled = true"});
        Wmi.Rows = {Adapter(1, L"Intel", {L"192.168.1.20"}), Adapter(8, L"Realtek", {L"192.168.1.20", L"10.0.0.5"}),
                    Adapter(12, L"Loopback", {})};
    }
    std::vector<std::wstring> Walk() {
        std::vector<std::wstring> seen;
        for (Query->First(); !Query->Eof(); Query->Next()) seen.push_back(Query->FieldByName(L"Index")->AsString());
        return seen;
    }

    TFakeWmi Wmi;
    TComponent Owner;
    TWmiConnection* Connection = Owner.Own<TWmiConnection>();
    TWmiQuery* Query = Owner.Own<TWmiQuery>();
};

TEST_F(WmiDataSetTest, OpenRunsTheWholeTextOnTheConnectionAndStandsOnTheFirstRow) {
    Query->Open();
    EXPECT_TRUE(Connection->Connected());
    ASSERT_EQ(Wmi.Queries.size(), 1u);
    EXPECT_EQ(Wmi.Queries[0].first,
              L"select * from Win32_NetworkAdapterConfiguration\r\nwhere IPEnabled = true\r\n");
    EXPECT_EQ(Wmi.Queries[0].second, 48);
    EXPECT_EQ(Query->RecNo(), 1);
    EXPECT_TRUE(Query->Bof());
    EXPECT_FALSE(Query->Eof());
    EXPECT_EQ(Query->FieldByName(L"Description")->AsString(), L"Intel");
    EXPECT_EQ(Query->FieldByName(L"index")->AsInteger(), 1);
    EXPECT_TRUE(Query->FieldByName(L"IPEnabled")->AsBoolean());
    Query->Close();
    Query->SetAsynchronous(false);
    Query->Open();
    EXPECT_EQ(Wmi.Queries.back().second, 32);
}

TEST_F(WmiDataSetTest, FieldsFollowThePropertiesTypesAndQualifiers) {
    Query->Open();
    ASSERT_EQ(Query->FieldCount(), 4u);
    const TFieldDefs& defs = Query->FieldDefs();
    EXPECT_EQ(defs[0]->Name, L"Index");
    EXPECT_EQ(defs[0]->DataType, ftInteger);
    EXPECT_TRUE(defs[0]->Required);
    EXPECT_EQ(defs[1]->DataType, ftWideString);
    EXPECT_EQ(defs[1]->Size, 65535);
    EXPECT_TRUE(defs[1]->ReadOnly);
    EXPECT_FALSE(defs[1]->Required);
    EXPECT_EQ(defs[2]->DataType, ftBoolean);
    EXPECT_EQ(defs[3]->DataType, ftVariant);
    EXPECT_TRUE(static_cast<TWmiFieldDef&>(*defs[3]).IsArray);
    EXPECT_EQ(defs[3]->FieldNo, 4);
    EXPECT_EQ(Query->Field(0)->DisplayWidth(), 1);
}

TEST_F(WmiDataSetTest, ArraysReadInBracesAndNullAsEmpty) {
    Query->Open();
    EXPECT_EQ(Query->FieldByName(L"IPAddress")->AsString(), L"{192.168.1.20}");
    Query->Next();
    EXPECT_EQ(Query->FieldByName(L"IPAddress")->AsString(), L"{192.168.1.20, 10.0.0.5}");
    Query->Next();
    EXPECT_EQ(Query->FieldByName(L"IPAddress")->AsString(), L"");
    EXPECT_TRUE(Query->FieldByName(L"IPAddress")->IsNull());
    EXPECT_EQ(WmiValueText(TextArray({}).Get()), L"{}");
}

TEST_F(WmiDataSetTest, WalkGivesEveryRowOnceAndMovesBack) {
    Query->Open();
    EXPECT_EQ(Walk(), (std::vector<std::wstring>{L"1", L"8", L"12"}));
    EXPECT_TRUE(Query->Eof());
    EXPECT_EQ(Query->RecNo(), 3);  // the last row stays current at the end
    Query->Prior();
    EXPECT_EQ(Query->RecNo(), 2);
    Query->Prior();
    Query->Prior();
    EXPECT_TRUE(Query->Bof());
    EXPECT_EQ(Query->RecNo(), 1);
    Query->Last();
    EXPECT_EQ(Query->FieldByName(L"Index")->AsInteger(), 12);
    EXPECT_TRUE(Query->Eof());
    Query->SetRecNo(2);
    EXPECT_EQ(Query->FieldByName(L"Index")->AsInteger(), 8);
    EXPECT_EQ(Walk(), (std::vector<std::wstring>{L"1", L"8", L"12"}));
}

TEST_F(WmiDataSetTest, RecordCountInMidWalkKeepsTheCursor) {
    Query->Open();
    Query->Next();
    EXPECT_EQ(Query->RecordCount(), 3);
    EXPECT_EQ(Query->FieldByName(L"Index")->AsInteger(), 8);
    Query->Next();
    EXPECT_EQ(Query->FieldByName(L"Index")->AsInteger(), 12);
    Query->Close();
    EXPECT_EQ(Query->RecordCount(), 0);
}

TEST_F(WmiDataSetTest, QueryWithoutRowsOpensWithoutFields) {
    Wmi.Rows.clear();
    Query->Open();
    EXPECT_TRUE(Query->Active());
    EXPECT_EQ(Query->RecordCount(), 0);
    EXPECT_TRUE(Query->Eof());
    EXPECT_EQ(Query->FieldCount(), 0u);
    EXPECT_EQ(Query->RecNo(), 0);
    EXPECT_EQ(Query->GetWmiObject(), nullptr);
    Query->First();
    Query->Next();
    EXPECT_TRUE(Query->Eof());
    EXPECT_FALSE(Query->Locate(L"Index", ScopedVariant(1).Get()));
}

TEST_F(WmiDataSetTest, LocateComparesAsTextAndLeavesTheCursorWhenNothingMatches) {
    Query->Open();
    EXPECT_TRUE(Query->Locate(L"Index", ScopedVariant(8).Get()));
    EXPECT_EQ(Query->FieldByName(L"Description")->AsString(), L"Realtek");
    EXPECT_TRUE(Query->Locate(L"Index", ScopedVariant(L"12").Get()));
    EXPECT_EQ(Query->RecNo(), 3);
    EXPECT_FALSE(Query->Locate(L"Index", ScopedVariant(99).Get()));
    EXPECT_EQ(Query->RecNo(), 3);
    EXPECT_FALSE(Query->Locate(L"Description", ScopedVariant(L"realtek").Get()));
    EXPECT_TRUE(Query->Locate(L"Description", ScopedVariant(L"realtek").Get(), loCaseInsensitive));
    EXPECT_TRUE(Query->Locate(L"Description", ScopedVariant(L"LOOP").Get(), loPartialKey));
    EXPECT_EQ(Query->RecNo(), 3);
    EXPECT_TRUE(Query->Locate(L"IPAddress", ScopedVariant(L"{192.168.1.20}").Get()));
    EXPECT_EQ(Query->RecNo(), 1);
}

TEST_F(WmiDataSetTest, LocateOnSeveralFieldsAndItsErrors) {
    Query->Open();
    ScopedVariant keys = TextArray({L"8", L"Realtek"});
    EXPECT_TRUE(Query->Locate(L"Index; Description", keys.Get()));
    EXPECT_EQ(Query->RecNo(), 2);
    ScopedVariant wrong = TextArray({L"8", L"Intel"});
    EXPECT_FALSE(Query->Locate(L"Index;Description", wrong.Get()));
    try {
        Query->Locate(L"Index;Description", ScopedVariant(8).Get());
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), L"Incorrectly formed filter expression");
    }
    try {
        Query->Locate(L"NetConnectionID", ScopedVariant(8).Get());
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), L"Field 'NetConnectionID' not found");
    }
    EXPECT_EQ(Query->RecNo(), 2);
}

TEST_F(WmiDataSetTest, NewWqlGivesNewColumns) {
    Query->Open();
    EXPECT_NE(Query->FindField(L"IPEnabled"), nullptr);
    Query->Close();
    Query->WQL() = {L"select * from Win32_NetworkAdapter"};
    Wmi.OnQuery = [](const std::wstring&) {
        return std::vector<ComPtr<IDispatch>>{MakeWmiObject(
            L"Win32_NetworkAdapter", {{L"NetConnectionID", CIM_STRING, ScopedVariant(L"本地连接 2")}})};
    };
    Query->Open();
    EXPECT_EQ(Query->FindField(L"IPEnabled"), nullptr);
    EXPECT_EQ(Query->FieldByName(L"NetConnectionID")->AsString(), L"本地连接 2");
    // A different text closes an open query.
    Query->SetWQL({L"select * from Win32_NetworkAdapterConfiguration"});
    EXPECT_FALSE(Query->Active());
}

TEST_F(WmiDataSetTest, OpenRefusesWithoutTextOrConnection) {
    Query->SetWQL({L"  ", L""});
    try {
        Query->Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), L"WQL is not defined");
    }
    Query->SetWQL({L"select * from Win32_NetworkAdapter"});
    Query->SetConnection(nullptr);
    try {
        Query->Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), L"Connection is not defined");
    }
    EXPECT_FALSE(Query->Active());
}

TEST_F(WmiDataSetTest, RejectedQueryRaisesFromOpenAndLeavesItClosed) {
    Wmi.Rows.clear();
    Wmi.EnumError = static_cast<HRESULT>(0x80041017);
    try {
        Query->Open();
        FAIL();
    } catch (const TWmiException& e) {
        EXPECT_EQ(e.Message(), L"The query was not syntactically valid.: 80041017");
    }
    EXPECT_FALSE(Query->Active());
    Wmi.EnumError = S_OK;
    Query->Open();
    EXPECT_TRUE(Query->Active());
}

TEST_F(WmiDataSetTest, ValuesAreConvertedByFieldType) {
    Wmi.Rows = {MakeWmiObject(L"Test", {{L"Embedded", CIM_OBJECT, DispatchValue(Wmi.Rows[0].Get())},
                                        {L"Big", CIM_UINT64, ScopedVariant(L"18000000000")},
                                        {L"Small", CIM_UINT8, ScopedVariant(7)},
                                        {L"When", CIM_DATETIME, ScopedVariant(L"20260301123045.250000+480")},
                                        {L"Bad", 99, ScopedVariant(1)}})};
    try {
        Query->Open();
        FAIL();
    } catch (const TWmiException& e) {
        EXPECT_EQ(e.Message(), L"Unsupported CIM data type: 99");
    }
    Wmi.Rows = {MakeWmiObject(L"Test", {{L"Embedded", CIM_OBJECT, DispatchValue(Wmi.Rows[0].Get())},
                                        {L"Big", CIM_UINT64, ScopedVariant(L"18000000000")},
                                        {L"Small", CIM_UINT8, ScopedVariant(7)},
                                        {L"When", CIM_DATETIME, ScopedVariant(L"20260301123045.250000+480")}})};
    Query->Open();
    ASSERT_EQ(Query->FieldCount(), 4u);  // the embedded object is a column all the same
    EXPECT_EQ(Query->FieldByName(L"Embedded")->DataType(), ftInterface);
    try {
        Query->FieldByName(L"Embedded")->AsString();
        FAIL();
    } catch (const TWmiException& e) {
        EXPECT_EQ(e.Message(), L"Unknown data type in field Embedded");
    }
    ScopedVariant big = Query->FieldByName(L"Big")->Value();
    EXPECT_EQ(big.Type(), VT_I8);
    EXPECT_EQ(big.Get().llVal, 18000000000LL);
    EXPECT_EQ(Query->FieldByName(L"Small")->DataType(), ftWord);
    EXPECT_EQ(Query->FieldByName(L"Small")->AsInteger(), 7);
    ScopedVariant when = Query->FieldByName(L"When")->Value();
    ASSERT_EQ(when.Type(), VT_DATE);
    SYSTEMTIME st{};
    VariantTimeToSystemTime(when.Get().date, &st);
    EXPECT_EQ(st.wYear, 2026);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wHour, 12);
    EXPECT_EQ(st.wMinute, 30);
}

TEST(CimDateTime, PartsMillisecondsWildcardsAndErrors) {
    // 2026-03-01 is 46082 days after 1899-12-30.
    const double expected = 46082 + (12 * 3600 + 30 * 60 + 45 + 0.25) / 86400.0;
    EXPECT_NEAR(CimDateTimeToDate(L"20260301123045.250999+480"), expected, 1e-9);
    EXPECT_EQ(CimDateTimeToDate(L""), 0);
    SYSTEMTIME today;
    GetLocalTime(&today);
    // A wildcard date is today's; the time stays.
    const double wild = CimDateTimeToDate(L"********080000.000000+000");
    SYSTEMTIME st{};
    VariantTimeToSystemTime(wild, &st);
    EXPECT_EQ(st.wYear, today.wYear);
    EXPECT_EQ(st.wDay, today.wDay);
    EXPECT_EQ(st.wHour, 8);
    for (const wchar_t* bad : {L"2026", L"20261301000000.000000+000", L"2026030112304x.000000+000",
                               L"00000000000000.000000:000"}) {
        try {
            CimDateTimeToDate(bad);
            ADD_FAILURE() << "accepted";
        } catch (const TWmiException& e) {
            EXPECT_EQ(e.Message(), std::wstring(L"Invaid date format: ") + bad);
        }
    }
}

TEST(CimTypes, TableOfFieldTypes) {
    int size = -1;
    EXPECT_EQ(FieldTypeOfCimType(16, false, size), ftSmallint);
    EXPECT_EQ(FieldTypeOfCimType(19, false, size), ftInteger);
    EXPECT_EQ(FieldTypeOfCimType(18, false, size), ftWord);
    EXPECT_EQ(FieldTypeOfCimType(20, false, size), ftLargeint);
    EXPECT_EQ(FieldTypeOfCimType(4, false, size), ftFloat);
    EXPECT_EQ(FieldTypeOfCimType(102, false, size), ftVariant);
    EXPECT_EQ(FieldTypeOfCimType(103, false, size), ftWideString);
    EXPECT_EQ(size, 2);
    EXPECT_EQ(FieldTypeOfCimType(13, true, size), ftVariant);
    EXPECT_EQ(size, 0);
}

TEST_F(WmiDataSetTest, BoundControlsFollowTheRowUnlessSuspended) {
    auto* source = Owner.Own<TDataSource>();
    source->SetDataSet(Query);
    TFieldDataLink link;
    std::vector<std::wstring> shown;
    link.OnDataChange = [&](const std::wstring& text) { shown.push_back(text); };
    link.SetFieldName(L"Description");
    link.SetDataSource(source);
    Query->Open();
    Query->Next();
    EXPECT_EQ(shown.back(), L"Realtek");
    shown.clear();
    Query->DisableControls();
    Query->Locate(L"Index", ScopedVariant(12).Get());
    Query->Locate(L"Index", ScopedVariant(1).Get());
    EXPECT_TRUE(shown.empty());
    Query->EnableControls();
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"Intel"}));
    Query->Close();
    EXPECT_EQ(shown.back(), L"");
}

TEST_F(WmiDataSetTest, DestroyedConnectionClosesTheQueryAndIsForgotten) {
    Query->Open();
    Owner.Destroy(Connection);
    EXPECT_FALSE(Query->Active());
    EXPECT_EQ(Query->Connection(), nullptr);
}

TEST_F(WmiDataSetTest, StoredActiveOpensWhenLoadingEnds) {
    TComponent form;
    form.BeginLoading();
    auto* connection = form.Own<TWmiConnection>();
    auto* query = form.Own<TWmiQuery>();
    query->SetConnection(connection);
    query->SetWQL({L"select * from Win32_NetworkAdapterConfiguration"});
    query->SetActive(true);
    EXPECT_TRUE(Wmi.Queries.empty());
    form.EndLoading();
    EXPECT_TRUE(query->Active());
    EXPECT_EQ(query->RecordCount(), 3);
}

TEST_F(WmiDataSetTest, ObjectSourceGivesTheCurrentRowsObject) {
    IWmiObjectSource* source = Query;
    EXPECT_EQ(source->GetWmiObject(), nullptr);
    EXPECT_EQ(source->GetComponent(), Query);
    Query->Open();
    Query->Next();
    EXPECT_EQ(source->GetWmiObject(), Wmi.Rows[1]);
    EXPECT_EQ(source->GetWmiServices(), Connection->GetWmiServices());
}

TEST_F(WmiDataSetTest, IrregularViewHoldsTheWholeObject) {
    Query->SetIrregularView(true);
    Query->Open();
    ASSERT_EQ(Query->FieldCount(), 1u);
    EXPECT_EQ(Query->Field(0)->FieldName(), L"Object");
    EXPECT_EQ(Query->Field(0)->AsString().rfind(L"instance of Win32_NetworkAdapterConfiguration", 0), 0u);
    EXPECT_NE(FindFieldDef(Query->RowFieldDefs(), L"IPAddress"), nullptr);
    EXPECT_TRUE(Query->Locate(L"Index", ScopedVariant(8).Get()));
    EXPECT_EQ(Query->RecNo(), 2);
}

}  // namespace
