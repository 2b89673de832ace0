// The method component: input parameters and qualifiers from the object source, and the
// last result with its text.
#include <gtest/gtest.h>

#include "FakeWmi.h"
#include "wmi/WmiDataSet.h"
#include "wmi/WmiException.h"
#include "wmi/WmiMethod.h"

namespace {

ScopedVariant Texts(std::vector<std::wstring> texts) { return TextArray(texts); }

TFakeMethod EnableStatic() {
    TFakeMethod m;
    m.Name = L"EnableStatic";
    m.InParameters = {{L"IPAddress", 8, TFakeValue(), true}, {L"SubnetMask", 8, TFakeValue(), true}};
    m.Qualifiers = {{L"ValueMap", Texts({L"0", L"1", L"66", L"70"})},
                    {L"Values", Texts({L"Successful completion, no reboot required", L"Successful completion, reboot required",
                                       L"Invalid subnet mask", L"Invalid IP address"})}};
    return m;
}

class WmiMethodTest : public ::testing::Test {
protected:
    WmiMethodTest() {
        Query->SetConnection(Connection);
        Query->SetWQL({L"select * from Win32_NetworkAdapterConfiguration"});
        auto object = MakeWmiObject(L"Win32_NetworkAdapterConfiguration",
                                    {{L"Index", 3, ScopedVariant(1)}}, {EnableStatic()});
        Wmi.Rows = {object};
        Wmi.Objects[L"Win32_NetworkAdapterConfiguration"] = object;
    }
    void SetReturnValue(int value) {
        TWmiParam& result = Method->OutParams().Add();
        result.SetName(L"ReturnValue");
        result.SetValue(ScopedVariant(value).Get());
    }

    TFakeWmi Wmi;
    TComponent Owner;
    TWmiConnection* Connection = Owner.Own<TWmiConnection>();
    TWmiQuery* Query = Owner.Own<TWmiQuery>();
    TWmiMethod* Method = Owner.Own<TWmiMethod>();
};

TEST_F(WmiMethodTest, ClosedSourceOrNoMethodNameLoadsNothingQuietly) {
    Method->SetWmiObjectSource(Query);
    EXPECT_EQ(Method->InParams().Count(), 0u);
    EXPECT_EQ(Method->WmiMethodQualifiers().Count(), 0u);
    Method->SetWmiMethodName(L"EnableStatic");
    EXPECT_EQ(Method->InParams().Count(), 0u);
    Query->Open();
    Method->SetWmiMethodName(L"");
    EXPECT_EQ(Method->WmiMethodQualifiers().Count(), 0u);
    EXPECT_TRUE(Wmi.Gets.empty());
}

TEST_F(WmiMethodTest, ParametersAndQualifiersOfTheCurrentRowsMethod) {
    Query->Open();
    Method->SetWmiObjectSource(Query);
    Method->SetWmiMethodName(L"EnableStatic");
    ASSERT_EQ(Method->InParams().Count(), 2u);
    EXPECT_EQ(Method->InParams().Item(0).Name(), L"IPAddress");
    EXPECT_EQ(Method->InParams().Item(0).DataType(), ftVariant);
    EXPECT_EQ(Method->InParams().Find(L"subnetmask"), &Method->InParams().Item(1));
    TWmiQualifiers& qualifiers = Method->WmiMethodQualifiers();
    ASSERT_EQ(qualifiers.Count(), 2u);
    EXPECT_EQ(qualifiers.Item(1).Name(), L"Values");
    EXPECT_TRUE(qualifiers.Item(1).IsAmended);
    EXPECT_TRUE(qualifiers.Item(1).IsLocal);
    ASSERT_EQ(Wmi.Gets.size(), 1u);
    EXPECT_EQ(Wmi.Gets[0], (std::pair<std::wstring, int>{L"Win32_NetworkAdapterConfiguration", 0x20000}));
    Method->WmiMethodQualifiers();
    EXPECT_EQ(Wmi.Gets.size(), 1u);  // loaded once
    // The same source again reloads nothing; another method name starts afresh.
    Method->SetWmiObjectSource(Query);
    EXPECT_EQ(Method->WmiMethodQualifiers().Count(), 2u);
    Method->SetWmiMethodName(L"NoSuchMethod");
    EXPECT_EQ(Method->InParams().Count(), 0u);
    EXPECT_EQ(Method->WmiMethodQualifiers().Count(), 0u);
}

TEST_F(WmiMethodTest, LastErrorAndItsTextFromValueMap) {
    EXPECT_EQ(Method->LastWmiError(), -1);
    EXPECT_EQ(Method->LastWmiErrorDescription(), L"");
    Query->Open();
    Method->SetWmiObjectSource(Query);
    Method->SetWmiMethodName(L"EnableStatic");
    SetReturnValue(66);
    EXPECT_EQ(Method->LastWmiError(), 66);
    EXPECT_EQ(Method->LastWmiErrorDescription(), L"Invalid subnet mask");
    Method->OutParams().Clear();
    SetReturnValue(2);  // not mapped
    EXPECT_EQ(Method->LastWmiErrorDescription(), L"");
    Method->OutParams().Item(0).Clear();
    EXPECT_EQ(Method->LastWmiError(), 0);
    EXPECT_EQ(Method->LastWmiErrorDescription(), L"Successful completion, no reboot required");
}

TEST_F(WmiMethodTest, FailingClassFetchRaisesFromTheQualifierRead) {
    Wmi.Objects.clear();
    Query->Open();
    Method->SetWmiObjectSource(Query);
    Method->SetWmiMethodName(L"EnableStatic");
    try {
        Method->WmiMethodQualifiers();
        FAIL();
    } catch (const TWmiException& e) {
        EXPECT_EQ(e.Message(), L"The object could not be found.: 80041002");
    }
}

TEST_F(WmiMethodTest, DestroyedSourceIsForgotten) {
    Method->SetWmiObjectSource(Query);
    Owner.Destroy(Query);
    EXPECT_EQ(Method->WmiObjectSource(), nullptr);
}

TEST(WmiParam, TypeComesFromTheFirstValueUntilSetAndSettingItClearsTheValue) {
    TWmiParam param;
    EXPECT_TRUE(param.IsNull());
    param.SetValue(ScopedVariant(L"10.0.0.5").Get());
    EXPECT_EQ(param.DataType(), ftString);
    param.SetValue(ScopedVariant(5).Get());
    EXPECT_EQ(param.DataType(), ftString);  // kept
    param.SetDataType(ftUnknown);
    EXPECT_TRUE(param.IsNull());
    VARIANT small;
    small.vt = VT_UI1;
    small.bVal = 3;
    param.SetValue(small);
    EXPECT_EQ(param.DataType(), ftSmallint);
    param.SetDataType(ftUnknown);
    VARIANT word;
    word.vt = VT_UI4;
    word.ulVal = 3;
    param.SetValue(word);
    EXPECT_EQ(param.DataType(), ftFloat);
    param.SetName(L"Metric");
    TWmiParam copy;
    copy.Assign(param);
    EXPECT_EQ(copy.Name(), L"Metric");
    EXPECT_EQ(copy.DataType(), ftFloat);
    EXPECT_EQ(copy.Value().Get().ulVal, 3u);
}

}  // namespace
