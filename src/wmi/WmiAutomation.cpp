#include "wmi/WmiAutomation.h"

namespace {
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
    return DispatchOf(value.Get());
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

ScopedVariant WmiConvert(const VARIANT& value, VARTYPE type) {
    ScopedVariant result;
    WmiCheck(ConvertVariant(value, type, result));
    return result;
}

int WmiInt(const ScopedVariant& value) {
    ScopedVariant number = WmiConvert(value.Get(), VT_I4);
    return number.Type() == VT_I4 ? number.Get().lVal : 0;
}

bool WmiBool(const ScopedVariant& value) {
    ScopedVariant flag = WmiConvert(value.Get(), VT_BOOL);
    return flag.Type() == VT_BOOL && flag.Get().boolVal != VARIANT_FALSE;
}

std::wstring WmiText(const ScopedVariant& value) {
    return VariantToText(value.Get());
}
