#include "wmi/WmiException.h"

#include <algorithm>
#include <iterator>

#include "framework/DataSet.h"
#include "framework/Strings.h"

namespace {
struct TErrorText {
    unsigned long Code;
    const wchar_t* Text;
};
// In the order of the source table; the lookup does not rely on it.
const TErrorText kErrorTexts[] = {
#include "wmi/WmiErrorTexts.inc"
};

// Runs a late-bound call and turns its failure into the WMI layer's error.
template <typename F> auto Checked(F&& call) {
    try {
        return call();
    } catch (const TWmiException&) {
        throw;
    } catch (const EComError& e) {
        WmiCheck(e.Code() ? e.Code() : E_FAIL);
        throw;
    }
}
} // namespace

std::wstring WmiErrorText(HRESULT code) {
    const auto value = static_cast<unsigned long>(code);
    const auto* end = std::end(kErrorTexts);
    const auto* found = std::find_if(std::begin(kErrorTexts), end,
                                     [value](const TErrorText& e) { return e.Code == value; });
    const std::wstring text = found != end ? found->Text : SystemErrorMessage(code);
    return text + L": " + HexDigits(value, 8);
}

void WmiCheck(HRESULT code) {
    if (code < 0) throw TWmiException(WmiErrorText(code), code);
}

ScopedVariant WmiCall(IDispatch* object, const std::wstring& name,
                      std::initializer_list<VARIANT> args) {
    return Checked([&] { return CallMethod(object, name, args); });
}

ScopedVariant WmiGet(IDispatch* object, const std::wstring& name) {
    return Checked([&] { return GetProperty(object, name); });
}

void WmiSet(IDispatch* object, const std::wstring& name, const VARIANT& value) {
    Checked([&] { SetProperty(object, name, value); });
}

Microsoft::WRL::ComPtr<IDispatch> WmiObject(const ScopedVariant& value) {
    Microsoft::WRL::ComPtr<IDispatch> object;
    object.Attach(DispatchOf(value.Get()));
    return object;
}

Microsoft::WRL::ComPtr<IEnumVARIANT> WmiEnumerator(IDispatch* collection) {
    return Checked([&] { return EnumeratorOf(collection); });
}

Microsoft::WRL::ComPtr<IDispatch> WmiNextObject(IEnumVARIANT* enumerator) {
    ScopedVariant item;
    ULONG fetched = 0;
    const HRESULT hr = enumerator->Next(1, item.Receive(), &fetched);
    WmiCheck(hr);
    if (hr != S_OK || fetched == 0) return nullptr;
    return WmiObject(item);
}

namespace {
ScopedVariant Converted(const ScopedVariant& value, VARTYPE type) {
    ScopedVariant result;
    if (value.Type() == VT_EMPTY || value.Type() == VT_NULL) return result;
    WmiCheck(VariantChangeType(result.Ptr(), const_cast<VARIANT*>(&value.Get()), 0, type));
    return result;
}
} // namespace

int WmiInt(const ScopedVariant& value) {
    ScopedVariant number = Converted(value, VT_I4);
    return number.Type() == VT_I4 ? number.Get().lVal : 0;
}

bool WmiBool(const ScopedVariant& value) {
    ScopedVariant flag = Converted(value, VT_BOOL);
    return flag.Type() == VT_BOOL && flag.Get().boolVal != VARIANT_FALSE;
}

std::wstring WmiText(const ScopedVariant& value) {
    return VariantToText(value.Get());
}
