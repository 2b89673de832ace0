// The method component: input parameters and qualifiers from the object source, and the
// last result with its text.
#include <gtest/gtest.h>

#include "SimulatedWmiFixture.h"
#include "wbem/WbemScripting.h"
#include "wmi/WmiException.h"
#include "wmi/WmiMethod.h"

namespace {

class WmiMethodTest : public SimulatedWmiTest {
protected:
    void SetReturnValue(int value) {
        TWmiParam& result = Method->OutParams().Add();
        result.SetName(L"ReturnValue");
        result.SetValue(ScopedVariant(value).Get());
    }
    TWmiMethod* Method = Owner.Own<TWmiMethod>();
};

TEST_F(WmiMethodTest, ClosedSourceOrNoMethodNameLoadsNothingQuietly) {
    Method->SetWmiObjectSource(Configurations);
    EXPECT_EQ(Method->InParams().Count(), 0u);
    EXPECT_EQ(Method->WmiMethodQualifiers().Count(), 0u);
    Method->SetWmiMethodName(L"EnableStatic");
    EXPECT_EQ(Method->InParams().Count(), 0u);
    Configurations->Open();
    Method->SetWmiMethodName(L"");
    EXPECT_EQ(Method->WmiMethodQualifiers().Count(), 0u);
    EXPECT_TRUE(Wmi.Gets().empty());
}

TEST_F(WmiMethodTest, ParametersAndQualifiersOfTheCurrentRowsMethod) {
    Configurations->Open();
    Method->SetWmiObjectSource(Configurations);
    Method->SetWmiMethodName(L"EnableStatic");
    ASSERT_EQ(Method->InParams().Count(), 2u);
    EXPECT_EQ(Method->InParams().Item(0).Name(), L"IPAddress");
    EXPECT_EQ(Method->InParams().Item(0).DataType(), ftVariant);
    EXPECT_EQ(Method->InParams().Find(L"subnetmask"), &Method->InParams().Item(1));
    TWmiQualifiers& qualifiers = Method->WmiMethodQualifiers();
    const TWmiQualifier* values = qualifiers.Find(L"values");
    ASSERT_NE(values, nullptr); // an amended qualifier: the class was read with them
    EXPECT_TRUE(values->IsAmended);
    ASSERT_NE(qualifiers.Find(L"ValueMap"), nullptr);
    ASSERT_EQ(Wmi.Gets().size(), 1u);
    EXPECT_EQ(Wmi.Gets()[0].Path, L"Win32_NetworkAdapterConfiguration");
    EXPECT_EQ(Wmi.Gets()[0].Flags, kWbemFlagUseAmendedQualifiers);
    const size_t count = qualifiers.Count();
    Method->WmiMethodQualifiers();
    EXPECT_EQ(Wmi.Gets().size(), 1u); // loaded once
    // The same source again reloads nothing; another method name starts afresh.
    Method->SetWmiObjectSource(Configurations);
    EXPECT_EQ(Method->WmiMethodQualifiers().Count(), count);
    Method->SetWmiMethodName(L"EnableDHCP");
    EXPECT_EQ(Method->InParams().Count(), 0u);
    Method->SetWmiMethodName(L"NoSuchMethod");
    EXPECT_EQ(Method->InParams().Count(), 0u);
    EXPECT_EQ(Method->WmiMethodQualifiers().Count(), 0u);
    EXPECT_TRUE(Wmi.Calls().empty()); // describing a method never runs it
}

TEST_F(WmiMethodTest, LastErrorAndItsTextFromValueMap) {
    EXPECT_EQ(Method->LastWmiError(), -1);
    EXPECT_EQ(Method->LastWmiErrorDescription(), L"");
    Configurations->Open();
    Method->SetWmiObjectSource(Configurations);
    Method->SetWmiMethodName(L"EnableStatic");
    SetReturnValue(66);
    EXPECT_EQ(Method->LastWmiError(), 66);
    EXPECT_EQ(Method->LastWmiErrorDescription(), L"Invalid subnet mask");
    Method->OutParams().Clear();
    SetReturnValue(2); // not mapped
    EXPECT_EQ(Method->LastWmiErrorDescription(), L"");
    Method->OutParams().Item(0).Clear();
    EXPECT_EQ(Method->LastWmiError(), 0);
    EXPECT_EQ(Method->LastWmiErrorDescription(), L"Successful completion, no reboot required");
}

TEST_F(WmiMethodTest, FailingClassFetchRaisesFromTheQualifierRead) {
    Configurations->Open();
    Method->SetWmiObjectSource(Configurations);
    Method->SetWmiMethodName(L"EnableStatic");
    Connection->SetConnected(false); // the row's object is still there, its services not
    EXPECT_THROW(Method->WmiMethodQualifiers(), TWmiException);
}

TEST_F(WmiMethodTest, DestroyedSourceIsForgotten) {
    Method->SetWmiObjectSource(Configurations);
    Owner.Destroy(Configurations);
    EXPECT_EQ(Method->WmiObjectSource(), nullptr);
}

// A source that must not be asked anything once it is going away.
bool GSourceGone = false;
class TGoingSource : public TComponent, public IWmiObjectSource {
public:
    using TComponent::TComponent;
    ~TGoingSource() override { GSourceGone = true; }
    Microsoft::WRL::ComPtr<IDispatch> GetWmiObject() override { return nullptr; }
    Microsoft::WRL::ComPtr<IDispatch> GetWmiServices() override { return nullptr; }
    TComponent* GetComponent() override {
        EXPECT_FALSE(GSourceGone) << "asked while going away";
        return this;
    }
};

TEST_F(WmiMethodTest, SourceGoingAwayIsNotAskedAnything) {
    GSourceGone = false;
    auto* source = Owner.Own<TGoingSource>();
    Method->SetWmiObjectSource(source);
    Owner.Destroy(source);
    EXPECT_EQ(Method->WmiObjectSource(), nullptr);
    Method->SetWmiObjectSource(Configurations); // nothing left of the old one to forget
    EXPECT_EQ(Method->WmiObjectSource(), Configurations);
}

TEST(WmiParam, TypeComesFromTheFirstValueUntilSetAndSettingItClearsTheValue) {
    TWmiParam param;
    EXPECT_TRUE(param.IsNull());
    param.SetValue(ScopedVariant(L"10.0.0.5").Get());
    EXPECT_EQ(param.DataType(), ftString);
    param.SetValue(ScopedVariant(5).Get());
    EXPECT_EQ(param.DataType(), ftString); // kept
    param.SetDataType(ftUnknown);
    EXPECT_TRUE(param.IsNull());
    ScopedVariant small;
    small.SetByte(3);
    param.SetValue(small.Get());
    EXPECT_EQ(param.DataType(), ftSmallint);
    param.SetDataType(ftUnknown);
    ScopedVariant word;
    word.SetUInt32(3);
    param.SetValue(word.Get());
    EXPECT_EQ(param.DataType(), ftFloat);
    param.SetName(L"Metric");
    TWmiParam copy;
    copy.Assign(param);
    EXPECT_EQ(copy.Name(), L"Metric");
    EXPECT_EQ(copy.DataType(), ftFloat);
    EXPECT_EQ(copy.Value().Get().ulVal, 3u);
}

} // namespace
