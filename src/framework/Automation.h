#pragma once
// Late-bound automation: call a method or read or write a property by name, with the
// arguments in their natural order. Arguments are borrowed, never cleared here.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <initializer_list>
#include <string>

#include "framework/ComTypes.h"
#include "framework/Exception.h"

// A failed COM or automation call, with its result code.
class EComError : public Exception {
public:
    EComError(std::wstring message, HRESULT code) : Exception(std::move(message)), FCode(code) {}
    HRESULT Code() const { return FCode; }

protected:
    // The code goes with the text, as WMI's own texts carry it: a user may quote it.
    std::wstring SystemText() const override;

private:
    HRESULT FCode;
};

// Raises EComError with the system's text for a failed result code.
void ComCheck(HRESULT hr);

ScopedVariant CallMethod(IDispatch* object, const std::wstring& name,
                         std::initializer_list<VARIANT> args = {});
ScopedVariant GetProperty(IDispatch* object, const std::wstring& name,
                          std::initializer_list<VARIANT> args = {});
void SetProperty(IDispatch* object, const std::wstring& name, const VARIANT& value);

// A variant that refers to another, for an argument passed by reference.
VARIANT RefTo(VARIANT& target);
// The IDispatch held by a variant (VT_DISPATCH or VT_UNKNOWN), or nullptr.
Microsoft::WRL::ComPtr<IDispatch> DispatchOf(const VARIANT& v);

// The enumerator of a collection object (its _NewEnum member).
Microsoft::WRL::ComPtr<IEnumVARIANT> EnumeratorOf(IDispatch* collection);
// Whether the object has a member of that name.
bool HasMember(IDispatch* object, const std::wstring& name);
// The object a display name binds to (a winmgmts moniker, say), as a script's GetObject binds
// it. Raises EComError when the name does not parse, does not bind or is no automation object.
Microsoft::WRL::ComPtr<IDispatch> BindObject(const std::wstring& displayName);
