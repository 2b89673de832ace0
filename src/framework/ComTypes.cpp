#include "framework/ComTypes.h"

#include "framework/Exception.h"

ScopedComInitializer::ScopedComInitializer()
    : FResult(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}

ScopedComInitializer::~ScopedComInitializer() {
    if (SUCCEEDED(FResult)) CoUninitialize();
}

ScopedBstr::ScopedBstr(std::wstring_view text)
    : FBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}

void ScopedBstr::Reset(BSTR b) {
    if (FBstr && FBstr != b) SysFreeString(FBstr);
    FBstr = b;
}

ScopedVariant::ScopedVariant(std::wstring_view text) {
    VariantInit(&FVar);
    FVar.vt = VT_BSTR;
    FVar.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

ScopedVariant::ScopedVariant(int value) {
    VariantInit(&FVar);
    FVar.vt = VT_I4;
    FVar.lVal = value;
}

ScopedVariant::ScopedVariant(bool value) {
    VariantInit(&FVar);
    FVar.vt = VT_BOOL;
    FVar.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

ScopedVariant::ScopedVariant(ScopedVariant&& other) noexcept : FVar(other.Release()) {}

ScopedVariant& ScopedVariant::operator=(ScopedVariant&& other) noexcept {
    if (this != &other) {
        VariantClear(&FVar);
        FVar = other.Release();
    }
    return *this;
}

ScopedVariant ScopedVariant::NotSupplied() {
    ScopedVariant v;
    v.FVar.vt = VT_ERROR;
    v.FVar.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

ScopedVariant ScopedVariant::Copy(const VARIANT& v) {
    ScopedVariant copy;
    VariantCopy(&copy.FVar, const_cast<VARIANT*>(&v));
    return copy;
}

VARIANT ScopedVariant::Release() {
    VARIANT v = FVar;
    VariantInit(&FVar);
    return v;
}

void ScopedVariant::Reset() {
    VariantClear(&FVar);
}

void ScopedVariant::SetArray(SAFEARRAY* array, VARTYPE elementType) {
    Reset();
    FVar.vt = static_cast<VARTYPE>(VT_ARRAY | elementType);
    FVar.parray = array;
}

ScopedSafeArray ScopedSafeArray::OfStrings(const std::vector<std::wstring>& items,
                                           LONG lowerBound) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(items.size()), lowerBound};
    ScopedSafeArray array(SafeArrayCreate(VT_BSTR, 1, &bound));
    if (!array.Get()) throw Exception(L"Out of memory");
    for (size_t i = 0; i < items.size(); ++i) {
        LONG index = lowerBound + static_cast<LONG>(i);
        ScopedBstr item(items[i]);
        // SafeArrayPutElement copies the string.
        SafeArrayPutElement(array.Get(), &index, item.Get());
    }
    return array;
}

void ScopedSafeArray::Reset(SAFEARRAY* array) {
    if (FArray && FArray != array) SafeArrayDestroy(FArray);
    FArray = array;
}

std::vector<std::wstring> SafeArrayStrings(SAFEARRAY* array) {
    std::vector<std::wstring> items;
    if (!array || SafeArrayGetDim(array) != 1) return items;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    VARTYPE type = VT_EMPTY;
    SafeArrayGetVartype(array, &type);
    for (LONG i = low; i <= high; ++i) {
        if (type == VT_BSTR) {
            ScopedBstr item;
            SafeArrayGetElement(array, &i, item.Receive());
            items.push_back(item.Text());
        } else if (type == VT_VARIANT) {
            ScopedVariant item;
            SafeArrayGetElement(array, &i, item.Receive());
            ScopedVariant text;
            if (SUCCEEDED(VariantChangeType(text.Ptr(), item.Ptr(), 0, VT_BSTR)))
                items.emplace_back(text.Get().bstrVal, SysStringLen(text.Get().bstrVal));
            else
                items.emplace_back();
        }
    }
    return items;
}
