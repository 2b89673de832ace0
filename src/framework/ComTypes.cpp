#include "framework/ComTypes.h"

#include <mutex>

#include "framework/Exception.h"

namespace {
std::mutex GSetupLock;
TApartmentSetup GSetup;
} // namespace

void SetApartmentSetup(TApartmentSetup setup) {
    std::lock_guard guard(GSetupLock);
    GSetup = std::move(setup);
}

ScopedComInitializer::ScopedComInitializer()
    : FResult(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {
    // Only an apartment this object opened: an enclosing one has had its setup.
    if (FResult != S_OK) return;
    TApartmentSetup setup;
    {
        std::lock_guard guard(GSetupLock);
        setup = GSetup;
    }
    if (setup) FUndoSetup = setup();
}

ScopedComInitializer::~ScopedComInitializer() {
    if (FUndoSetup) FUndoSetup();
    if (SUCCEEDED(FResult)) CoUninitialize();
}

ScopedBstr::ScopedBstr(std::wstring_view text)
    : FBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}

void ScopedBstr::Reset(BSTR b) {
    if (FBstr && FBstr != b) SysFreeString(FBstr);
    FBstr = b;
}

ScopedVariant::ScopedVariant(std::wstring_view text) : ScopedVariant() {
    Assign(VT_BSTR).bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

ScopedVariant::ScopedVariant(int value) : ScopedVariant() {
    Assign(VT_I4).lVal = value;
}

ScopedVariant::ScopedVariant(bool value) : ScopedVariant() {
    Assign(VT_BOOL).boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
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
    v.Assign(VT_ERROR).scode = DISP_E_PARAMNOTFOUND;
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

void ScopedVariant::SetDispatch(IDispatch* object) {
    Reset();
    if (!object) return;
    object->AddRef();
    Assign(VT_DISPATCH).pdispVal = object;
}

void ScopedVariant::SetUnknown(IUnknown* object) {
    Reset();
    if (!object) return;
    object->AddRef();
    Assign(VT_UNKNOWN).punkVal = object;
}

void ScopedVariant::SetNull() {
    Assign(VT_NULL);
}

void ScopedVariant::SetDouble(double value) {
    Assign(VT_R8).dblVal = value;
}

void ScopedVariant::SetDate(DATE value) {
    Assign(VT_DATE).date = value;
}

void ScopedVariant::SetInt64(LONGLONG value) {
    Assign(VT_I8).llVal = value;
}

void ScopedVariant::SetByte(BYTE value) {
    Assign(VT_UI1).bVal = value;
}

void ScopedVariant::SetUInt32(ULONG value) {
    Assign(VT_UI4).ulVal = value;
}

VARIANT& ScopedVariant::Assign(VARTYPE type) {
    Reset();
    FVar.vt = type;
    return FVar;
}

void ScopedVariant::SetArray(SAFEARRAY* array, VARTYPE elementType) {
    Assign(static_cast<VARTYPE>(VT_ARRAY | elementType)).parray = array;
}

HRESULT ScopedVariant::SetArrayElement(SAFEARRAY* array, LONG index, VARTYPE elementType) {
    Reset();
    if (elementType == VT_VARIANT) return SafeArrayGetElement(array, &index, &FVar);
    // Any other element is copied into the union (strings and objects included), which holds
    // no more than eight bytes of it: a larger element (a decimal, a record) is refused.
    if (SafeArrayGetElemsize(array) > sizeof FVar.llVal) return DISP_E_BADVARTYPE;
    const HRESULT hr = SafeArrayGetElement(array, &index, &FVar.llVal);
    if (SUCCEEDED(hr)) FVar.vt = elementType;
    return hr;
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
    VARTYPE type = VT_EMPTY;
    SafeArrayGetVartype(array, &type);
    if (type != VT_BSTR && type != VT_VARIANT) return items;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    for (LONG i = low; i <= high; ++i) {
        ScopedVariant item;
        item.SetArrayElement(array, i, type);
        items.push_back(VariantToText(item.Get()));
    }
    return items;
}

SAFEARRAY* ArrayOf(const VARIANT& value) {
    if (!(value.vt & VT_BYREF)) return value.parray;
    return value.pparray ? *value.pparray : nullptr;
}

bool VariantIsNull(const VARIANT& v) {
    return v.vt == VT_EMPTY || v.vt == VT_NULL;
}

HRESULT ConvertVariant(const VARIANT& value, VARTYPE type, ScopedVariant& result) {
    result.Reset();
    if (VariantIsNull(value)) return S_FALSE;
    if (value.vt == VT_BOOL && type == VT_BSTR) {
        result = ScopedVariant(value.boolVal ? L"True" : L"False");
        return S_OK;
    }
    return VariantChangeTypeEx(result.Ptr(), const_cast<VARIANT*>(&value), LOCALE_USER_DEFAULT,
                               type == VT_BSTR ? VARIANT_ALPHABOOL : 0, type);
}

HRESULT VariantToInt(const VARIANT& value, int& number) {
    ScopedVariant converted;
    const HRESULT hr = ConvertVariant(value, VT_I4, converted);
    number = converted.Type() == VT_I4 ? converted.Get().lVal : 0;
    return hr;
}

HRESULT VariantToBool(const VARIANT& value, bool& flag) {
    ScopedVariant converted;
    const HRESULT hr = ConvertVariant(value, VT_BOOL, converted);
    flag = converted.Type() == VT_BOOL && converted.Get().boolVal != VARIANT_FALSE;
    return hr;
}

std::wstring VariantToText(const VARIANT& value) {
    ScopedVariant text;
    if (ConvertVariant(value, VT_BSTR, text) != S_OK) return {};
    return std::wstring(text.Get().bstrVal, SysStringLen(text.Get().bstrVal));
}
