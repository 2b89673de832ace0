#pragma once
// The error of the WMI layer and the texts of WMI's result codes.
#include <windows.h>

#include <string>

#include "framework/Automation.h"

// Carries the WMI or COM result code; zero when raised without one.
class TWmiException : public EComError {
public:
    explicit TWmiException(std::wstring message, HRESULT code = 0)
        : EComError(std::move(message), code) {}
};

// The text of a WMI result code, ": ", and the code as eight upper-case hexadecimal digits.
// A code WMI does not describe takes the system's message.
std::wstring WmiErrorText(HRESULT code);
// Raises TWmiException for a negative result code.
void WmiCheck(HRESULT code);

// Late-bound calls on WMI's objects, their failures raised as TWmiException.
ScopedVariant WmiCall(IDispatch* object, const std::wstring& name,
                      std::initializer_list<VARIANT> args = {});
ScopedVariant WmiGet(IDispatch* object, const std::wstring& name);
void WmiSet(IDispatch* object, const std::wstring& name, const VARIANT& value);
// The object a result holds, or nullptr.
Microsoft::WRL::ComPtr<IDispatch> WmiObject(const ScopedVariant& value);
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
