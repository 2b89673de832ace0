#pragma once
// Late-bound calls on WMI's objects and reading their values, failures raised as
// TWmiException.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <initializer_list>
#include <string>

#include "framework/Automation.h"
#include "wmi/WmiException.h"

ScopedVariant WmiCall(IDispatch* object, const std::wstring& name,
                      std::initializer_list<VARIANT> args = {});
ScopedVariant WmiGet(IDispatch* object, const std::wstring& name);
void WmiSet(IDispatch* object, const std::wstring& name, const VARIANT& value);
// The object a result holds, or nullptr.
Microsoft::WRL::ComPtr<IDispatch> WmiObject(const ScopedVariant& value);
// The value as that type; null gives an empty variant. Raises for a value that does not convert.
ScopedVariant WmiConvert(const VARIANT& value, VARTYPE type);
// A WMI value as an integer, a Boolean or text; null gives 0, false and "".
int WmiInt(const ScopedVariant& value);
bool WmiBool(const ScopedVariant& value);
std::wstring WmiText(const ScopedVariant& value);
// Each element of a WMI collection, in enumeration order.
template <typename F> void WmiForEach(IDispatch* collection, F&& visit);
// Reads one element of an enumerator; nullptr at the end.
Microsoft::WRL::ComPtr<IDispatch> WmiNextObject(IEnumVARIANT* enumerator);
Microsoft::WRL::ComPtr<IEnumVARIANT> WmiEnumerator(IDispatch* collection);

template <typename F> void WmiForEach(IDispatch* collection, F&& visit) {
    Microsoft::WRL::ComPtr<IEnumVARIANT> items = WmiEnumerator(collection);
    while (Microsoft::WRL::ComPtr<IDispatch> item = WmiNextObject(items.Get()))
        visit(item.Get());
}
