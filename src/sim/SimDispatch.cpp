#include "sim/SimDispatch.h"

#include <algorithm>

#include "framework/Automation.h"

ScopedVariant SimNull() {
    ScopedVariant v;
    v.SetNull();
    return v;
}

ScopedVariant SimVariantArray(std::vector<ScopedVariant> items) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(items.size()), 0};
    ScopedSafeArray array(SafeArrayCreate(VT_VARIANT, 1, &bound));
    if (!array.Get()) throw TSimError{E_OUTOFMEMORY};
    for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i)
        SafeArrayPutElement(array.Get(), &i, items[static_cast<size_t>(i)].Ptr());
    ScopedVariant v;
    v.SetArray(array.Release(), VT_VARIANT);
    return v;
}

ScopedVariant SimStringArray(const std::vector<std::wstring>& items) {
    std::vector<ScopedVariant> variants;
    for (const std::wstring& item : items)
        variants.emplace_back(item);
    return SimVariantArray(std::move(variants));
}

ScopedVariant SimArrayElement(SAFEARRAY* array, LONG index) {
    ScopedVariant element;
    VARTYPE type = VT_EMPTY;
    if (SUCCEEDED(SafeArrayGetVartype(array, &type))) element.SetArrayElement(array, index, type);
    return element;
}

// ---- TSimArgs

TSimArgs::TSimArgs(const DISPPARAMS& params) {
    // DISPPARAMS holds the positional arguments last first, after the named ones.
    for (UINT i = params.cArgs; i > params.cNamedArgs; --i)
        FItems.push_back(&params.rgvarg[i - 1]);
    // A property put's value is the named DISPID_PROPERTYPUT argument; it comes last.
    if (params.cNamedArgs > 0) FItems.push_back(&params.rgvarg[0]);
}

bool TSimArgs::Missing(size_t i) const {
    if (i >= FItems.size()) return true;
    const VARIANT* v = FItems[i];
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    return v->vt == VT_EMPTY || (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND);
}

ScopedVariant TSimArgs::Value(size_t i) const {
    ScopedVariant value;
    if (Missing(i)) return value;
    if (FAILED(VariantCopyInd(value.Ptr(), FItems[i]))) throw SimError(WBEM_E_INVALID_PARAMETER);
    return value;
}

ScopedVariant TSimArgs::Converted(size_t i, VARTYPE type) const {
    ScopedVariant converted;
    // A null has no value of any type.
    if (ConvertVariant(Value(i).Get(), type, converted) != S_OK)
        throw SimError(WBEM_E_INVALID_PARAMETER);
    return converted;
}

std::wstring TSimArgs::Text(size_t i, const std::wstring& fallback) const {
    if (Missing(i) || VariantIsNull(Value(i).Get())) return fallback;
    const ScopedVariant text = Converted(i, VT_BSTR);
    return std::wstring(text.Get().bstrVal, SysStringLen(text.Get().bstrVal));
}

long TSimArgs::Long(size_t i, long fallback) const {
    return Missing(i) ? fallback : Converted(i, VT_I4).Get().lVal;
}

bool TSimArgs::Bool(size_t i, bool fallback) const {
    return Missing(i) ? fallback : Converted(i, VT_BOOL).Get().boolVal != VARIANT_FALSE;
}

ComPtr<IDispatch> TSimArgs::Object(size_t i) const {
    if (Missing(i)) return nullptr;
    const ScopedVariant value = Value(i);
    // A null object (Nothing) is no object.
    if (VariantIsNull(value.Get()) ||
        ((value.Type() == VT_DISPATCH || value.Type() == VT_UNKNOWN) && !value.Get().punkVal))
        return nullptr;
    ComPtr<IDispatch> object = DispatchOf(value.Get());
    if (!object) throw SimError(WBEM_E_INVALID_PARAMETER);
    return object;
}

// ---- TSimDispatch

namespace {
std::atomic<long> LiveDispatchObjectCount = 0;
} // namespace

TSimDispatch::TSimDispatch(std::vector<std::wstring> members, const IID& scriptingIid)
    : FMembers(std::move(members)), FScriptingIid(scriptingIid) {
    ++LiveDispatchObjectCount;
}

TSimDispatch::~TSimDispatch() {
    --LiveDispatchObjectCount;
}

long TSimDispatch::LiveDispatchObjects() {
    return LiveDispatchObjectCount;
}

void TSimDispatch::MakeFreeThreaded() {
    // Aggregated: the marshaler's inner unknown answers IMarshal for this object.
    if (!FMarshaler)
        CoCreateFreeThreadedMarshaler(static_cast<IDispatch*>(this), FMarshaler.GetAddressOf());
}

STDMETHODIMP TSimDispatch::QueryInterface(REFIID iid, void** object) {
    if (object && iid == IID_IMarshal && FMarshaler) {
        *object = nullptr;
        return FMarshaler->QueryInterface(iid, object);
    }
    return TComObject::QueryInterface(iid, object);
}

void* TSimDispatch::Interface(REFIID iid) {
    if (iid == IID_TSimDispatch) return this;
    if (iid == FScriptingIid && iid != IID_NULL) return static_cast<IDispatch*>(this);
    return TComObject::Interface(iid);
}

STDMETHODIMP TSimDispatch::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP TSimDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

DISPID TSimDispatch::Position(const std::wstring& name) const {
    const auto found = std::find_if(FMembers.begin(), FMembers.end(),
                                    [&](const std::wstring& m) { return SameText(m, name); });
    return found == FMembers.end() ? DISPID_UNKNOWN
                                   : static_cast<DISPID>(found - FMembers.begin()) + 1;
}

STDMETHODIMP TSimDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    if (FHomeThread && FHomeThread != GetCurrentThreadId()) return RPC_E_WRONG_THREAD;
    // Named arguments are not supported.
    for (UINT i = 1; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    const std::wstring name = names[0] ? names[0] : L"";
    ids[0] = Position(name);
    if (ids[0] == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
    if (SameText(name, L"_NewEnum")) ids[0] = DISPID_NEWENUM;
    return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

STDMETHODIMP TSimDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* info, UINT* argError) {
    if (argError) *argError = 0;
    if (FHomeThread && FHomeThread != GetCurrentThreadId()) return RPC_E_WRONG_THREAD;
    // The enumerator, and the default member: a set's Item, a property's Value.
    if (id == DISPID_NEWENUM) id = Position(L"_NewEnum");
    if (id == DISPID_VALUE)
        id = Position(L"Item") != DISPID_UNKNOWN ? Position(L"Item") : Position(L"Value");
    if (id < 1 || static_cast<size_t>(id) > FMembers.size()) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const DISPPARAMS& given = params ? *params : none;
    if (given.cNamedArgs > 1 ||
        (given.cNamedArgs == 1 && given.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
        return DISP_E_NONAMEDARGS;
    try {
        ScopedVariant answer = Call(static_cast<size_t>(id - 1), flags, TSimArgs(given));
        if (result) {
            VariantInit(result);
            *result = answer.Release();
        }
        return S_OK;
    } catch (const TSimError& error) {
        if (!info) return error.Code;
        *info = EXCEPINFO{};
        info->bstrSource = SysAllocString(L"SWbemServicesEx");
        info->scode = error.Code;
        return DISP_E_EXCEPTION;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

ScopedVariant TSimDispatch::AsVariant(IDispatch* object) {
    if (!object) return SimNull();
    ScopedVariant v;
    v.SetDispatch(object);
    return v;
}

TSimDispatch* TSimDispatch::Implementation(IUnknown* object) {
    TSimDispatch* impl = nullptr;
    if (object &&
        SUCCEEDED(object->QueryInterface(IID_TSimDispatch, reinterpret_cast<void**>(&impl))))
        impl->Release();
    return impl;
}
