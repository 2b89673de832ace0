// The query code against Wine's own WMI: rows and fields where it has them, a TWmiException
// with WMI's text where it has not, never a crash. Nothing here changes an adapter.
#include <gtest/gtest.h>

#include "framework/Exception.h"
#include "wmi/WmiDataSet.h"
#include "wmi/WmiException.h"

namespace {

class WineWmi : public ::testing::Test {
protected:
    WineWmi() { Query->SetConnection(Connection); }
    TComponent Owner;
    TWmiConnection* Connection = Owner.Own<TWmiConnection>();
    TWmiQuery* Query = Owner.Own<TWmiQuery>();
};

TEST_F(WineWmi, IpEnabledConfigurationsGiveRowsOrNotImplemented) {
    Query->SetWQL({L"select * from Win32_NetworkAdapterConfiguration where IPEnabled = true"});
    try {
        Query->Open();
    } catch (const TWmiException& e) {
        // Wine 8 enumerates no property set of this class: "not implemented", in WMI's form.
        EXPECT_EQ(e.Code(), E_NOTIMPL);
        EXPECT_EQ(e.Message(), SystemErrorMessage(E_NOTIMPL) + L": 80004001");
        EXPECT_FALSE(Query->Active());
        EXPECT_TRUE(Connection->Connected());
        return;
    }
    // Where the provider describes its properties, the rows read like any other.
    ASSERT_GT(Query->RecordCount(), 0);
    for (Query->First(); !Query->Eof(); Query->Next()) {
        EXPECT_TRUE(Query->FieldByName(L"IPEnabled")->AsBoolean());
        EXPECT_GE(Query->FieldByName(L"Index")->AsInteger(), 0);
    }
}

TEST_F(WineWmi, QueryWithoutRowsOpensAndAMalformedOneIsReported) {
    Query->SetWQL({L"select * from   Win32_NetworkAdapter  where index=", L"99999"});
    Query->Open();
    EXPECT_EQ(Query->RecordCount(), 0);
    EXPECT_TRUE(Query->Eof());
    Query->Close();
    // Wine answers an unknown class with no rows; a malformed text it rejects at once.
    Query->SetWQL({L"select from where"});
    try {
        Query->Open();
        FAIL();
    } catch (const TWmiException& e) {
        EXPECT_EQ(e.Code(), static_cast<HRESULT>(0x80041017));
        EXPECT_EQ(e.Message(), L"The query was not syntactically valid.: 80041017");
    }
    EXPECT_FALSE(Query->Active());
}

TEST_F(WineWmi, MissingNamespaceIsReported) {
    Connection->SetNameSpace(L"root\\tarnwick_missing");
    try {
        Connection->SetConnected(true);
        FAIL();
    } catch (const TWmiException& e) {
        EXPECT_EQ(e.Code(), static_cast<HRESULT>(0x8004100E));
        EXPECT_EQ(e.Message(), L"The namespace specified could not be found.: 8004100E");
    }
    EXPECT_FALSE(Connection->Connected());
}

} // namespace
