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
    int number = 0;
    WmiCheck(VariantToInt(value.Get(), number));
    return number;
}

bool WmiBool(const ScopedVariant& value) {
    bool flag = false;
    WmiCheck(VariantToBool(value.Get(), flag));
    return flag;
}

std::wstring WmiText(const ScopedVariant& value) {
    return VariantToText(value.Get());
}
