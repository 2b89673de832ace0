// The variant conversion every layer shares, array elements and locks, and owned objects.
#include <gtest/gtest.h>

#include <windows.h>
#include <olectl.h>

#include "framework/Automation.h"

namespace {

std::wstring Text(const ScopedVariant& v) {
    return v.Type() == VT_BSTR ? std::wstring(v.Get().bstrVal, SysStringLen(v.Get().bstrVal))
                               : L"(not text)";
}

TEST(ConvertVariant, MissingValuesConvertToNothingAndRefusalsKeepTheirCode) {
    ScopedVariant result(5), empty, null;
    null.SetNull();
    for (const ScopedVariant* missing : {&empty, &null}) {
        EXPECT_EQ(ConvertVariant(missing->Get(), VT_I4, result), S_FALSE);
        EXPECT_EQ(result.Type(), VT_EMPTY) << "the earlier value is gone";
        EXPECT_EQ(VariantToText(missing->Get()), L"");
    }
    EXPECT_EQ(ConvertVariant(ScopedVariant(L"x").Get(), VT_I4, result), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantToText(ScopedVariant(L"x").Get()), L"x");
}

TEST(ConvertVariant, NumbersRoundToEvenAndBooleansReadAsWords) {
    ScopedVariant result, half;
    for (const auto& [value, expected] : {std::pair{2.5, 2}, {3.5, 4}, {-0.5, 0}}) {
        half.SetDouble(value);
        ASSERT_EQ(ConvertVariant(half.Get(), VT_I4, result), S_OK);
        EXPECT_EQ(result.Get().lVal, expected) << value;
    }
    ASSERT_EQ(ConvertVariant(ScopedVariant(L" 12").Get(), VT_I4, result), S_OK);
    EXPECT_EQ(result.Get().lVal, 12);
    EXPECT_EQ(VariantToText(ScopedVariant(true).Get()), L"True");
    ASSERT_EQ(ConvertVariant(ScopedVariant(L"False").Get(), VT_BOOL, result), S_OK);
    EXPECT_EQ(result.Get().boolVal, VARIANT_FALSE);
    // By reference, as a method's output parameter comes.
    ScopedVariant target(false);
    ASSERT_EQ(ConvertVariant(RefTo(*target.Ptr()), VT_BSTR, result), S_OK);
    EXPECT_EQ(Text(result), L"False");
}

TEST(SafeArrays, ElementsOfEveryKindAndTheirTexts) {
    SAFEARRAYBOUND bound{3, 1};
    ScopedSafeArray variants(SafeArrayCreate(VT_VARIANT, 1, &bound));
    ScopedVariant flag(true), number(7), null;
    null.SetNull();
    LONG index = 1;
    for (const ScopedVariant* item : {&flag, &number, &null}) {
        SafeArrayPutElement(variants.Get(), &index, const_cast<VARIANT*>(&item->Get()));
        ++index;
    }
    // Booleans read as everywhere else, not as -1.
    EXPECT_EQ(SafeArrayStrings(variants.Get()), (std::vector<std::wstring>{L"True", L"7", L""}));

    ScopedSafeArray strings = ScopedSafeArray::OfStrings({L"a", L"b"}, 0);
    ScopedVariant element;
    ASSERT_EQ(element.SetArrayElement(strings.Get(), 1, VT_BSTR), S_OK);
    EXPECT_EQ(Text(element), L"b");
    EXPECT_TRUE(FAILED(element.SetArrayElement(strings.Get(), 2, VT_BSTR)));
    EXPECT_EQ(element.Type(), VT_EMPTY);

    ScopedSafeArray decimals(SafeArrayCreate(VT_DECIMAL, 1, &bound));
    EXPECT_EQ(element.SetArrayElement(decimals.Get(), 1, VT_DECIMAL), DISP_E_BADVARTYPE)
        << "a decimal does not fit the union";
}

TEST(SafeArrays, AccessEndsWithTheScopeSoTheArrayCanBeDestroyed) {
    ScopedSafeArray strings = ScopedSafeArray::OfStrings({L"a"}, 0);
    try {
        const ScopedSafeArrayAccess data(strings.Get());
        ASSERT_EQ(data.Result(), S_OK);
        EXPECT_EQ(SafeArrayDestroy(strings.Get()), DISP_E_ARRAYISLOCKED);
        throw Exception(L"element failed");
    } catch (const Exception&) {
    }
    EXPECT_EQ(SafeArrayDestroy(strings.Release()), S_OK);
}

TEST(ScopedVariant, TypedSettersAndDispatchOfShareOwnershipRightly) {
    ScopedVariant holder;
    holder.SetInt64(1LL << 40);
    EXPECT_EQ(holder.Type(), VT_I8);
    holder.SetDate(46082.5);
    EXPECT_EQ(holder.Type(), VT_DATE);
    EXPECT_EQ(holder.Get().date, 46082.5);

    // Any automation object will do; OLE makes font objects itself.
    Microsoft::WRL::ComPtr<IDispatch> object;
    FONTDESC font{sizeof font, const_cast<LPOLESTR>(L"Arial"), {120000, 0}, 400, 0, 0, 0, 0};
    ASSERT_EQ(OleCreateFontIndirect(&font, IID_PPV_ARGS(&object)), S_OK);
    holder.SetDispatch(object.Get());
    {
        Microsoft::WRL::ComPtr<IDispatch> again = DispatchOf(holder.Get());
        EXPECT_EQ(again.Get(), object.Get());
    }
    holder.Reset();
    // Only this test's own reference is left: nothing leaked, nothing released twice.
    EXPECT_EQ(object.Get()->AddRef(), 2u);
    object.Get()->Release();
    holder.SetDispatch(nullptr);
    EXPECT_EQ(holder.Type(), VT_EMPTY);
    EXPECT_EQ(DispatchOf(holder.Get()), nullptr);
}

} // namespace
