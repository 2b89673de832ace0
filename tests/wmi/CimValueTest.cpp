// WMI's values as the dataset reads them: CIM dates, values as text, CIM types as field types.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "sim/SimDispatch.h"
#include "support/Raised.h"
#include "wmi/CimValue.h"
#include "wmi/WmiException.h"

namespace {

TEST(CimDateTime, PartsMillisecondsWildcardsAndErrors) {
    // 2026-03-01 is 46082 days after 1899-12-30.
    const double expected = 46082 + (12 * 3600 + 30 * 60 + 45 + 0.25) / 86400.0;
    EXPECT_NEAR(CimDateTimeToDate(L"20260301123045.250999+480"), expected, 1e-9);
    EXPECT_EQ(CimDateTimeToDate(L""), 0);
    SYSTEMTIME today;
    GetLocalTime(&today);
    // A wildcard date is today's; the time stays.
    SYSTEMTIME st{};
    VariantTimeToSystemTime(CimDateTimeToDate(L"********080000.000000+000"), &st);
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

// A WMI object whose MOF text cannot be read.
class TUnreadableObject : public TSimDispatch {
public:
    TUnreadableObject() : TSimDispatch({L"GetObjectText_"}, IID_NULL) {}

protected:
    ScopedVariant Call(size_t, WORD, const TSimArgs&) override { throw SimError(WBEM_E_FAILED); }
};

TEST(WmiValueText, AnArrayWhoseElementRaisesIsLeftFreeToDestroy) {
    ComPtr<TUnreadableObject> object = MakeSim<TUnreadableObject>();
    std::vector<ScopedVariant> items;
    items.push_back(TSimDispatch::AsVariant(object.Get()));
    ScopedVariant array = SimVariantArray(std::move(items));
    EXPECT_THROW(WmiValueText(array.Get()), TWmiException);
    // A locked array refuses to be destroyed, and its elements leak with it.
    EXPECT_EQ(VariantClear(array.Ptr()), S_OK);
}

// Decimals are wider than the part of a variant that other elements are copied into.
TEST(WmiValueText, ArrayOfDecimalsReadsWholeValues) {
    SAFEARRAYBOUND bound{2, 0};
    ScopedSafeArray decimals(SafeArrayCreate(VT_DECIMAL, 1, &bound));
    ASSERT_NE(decimals.Get(), nullptr);
    const double values[] = {1.5, -123456789012.25};
    for (LONG i = 0; i < 2; ++i) {
        DECIMAL value;
        ASSERT_EQ(VarDecFromR8(values[i], &value), S_OK);
        ASSERT_EQ(SafeArrayPutElement(decimals.Get(), &i, &value), S_OK);
    }
    ScopedVariant array;
    array.SetArray(decimals.Release(), VT_DECIMAL);
    EXPECT_EQ(WmiValueText(array.Get()), L"{1.5, -123456789012.25}");
}

TEST(CimTypes, TableOfFieldTypesAndTheUnsupported) {
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
    EXPECT_EQ(RaisedMessage<TWmiException>([&] { FieldTypeOfCimType(99, false, size); }),
              L"Unsupported CIM data type: 99");
}

} // namespace
