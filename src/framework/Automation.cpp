#include "framework/Automation.h"

#include <objbase.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "framework/SystemLibrary.h"

std::wstring EComError::SystemText() const {
    const std::wstring code = HexDigits(static_cast<unsigned long>(FCode), 8);
    if (!FCode || Message().find(code) != std::wstring::npos) return Message();
    return Message() + L": " + code;
}

void ComCheck(HRESULT hr) {
    if (FAILED(hr)) throw EComError(SystemErrorMessage(hr), hr);
}

namespace {
ScopedVariant InvokeId(IDispatch* object, DISPID id, WORD flags,
                       std::initializer_list<VARIANT> args, DISPID namedArg = DISPID_UNKNOWN) {
    if (!object) throw EComError(L"Automation object is not assigned", E_POINTER);
    // DISPPARAMS holds the arguments last first.
    std::vector<VARIANT> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (namedArg != DISPID_UNKNOWN) {
        params.rgdispidNamedArgs = &namedArg;
        params.cNamedArgs = 1;
    }
    ScopedVariant result;
    EXCEPINFO info{};
    const HRESULT hr =
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                       flags & DISPATCH_PROPERTYPUT ? nullptr : result.Receive(), &info, nullptr);
    if (hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
        // Takes ownership; a server may leave the description empty (null).
        ScopedBstr description;
        description.Reset(info.bstrDescription);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrHelpFile);
        HRESULT code = info.scode ? info.scode : static_cast<HRESULT>(info.wCode);
        if (!code) code = hr; // an exception that names no code is still a failure
        std::wstring text = description.Text();
        throw EComError(text.empty() ? SystemErrorMessage(code) : text, code);
    }
    ComCheck(hr);
    return result;
}

ScopedVariant Invoke(IDispatch* object, const std::wstring& name, WORD flags,
                     std::initializer_list<VARIANT> args, DISPID namedArg = DISPID_UNKNOWN) {
    if (!object) throw EComError(L"Automation object is not assigned", E_POINTER);
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    ComCheck(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    return InvokeId(object, id, flags, args, namedArg);
}
} // namespace

ScopedVariant CallMethod(IDispatch* object, const std::wstring& name,
                         std::initializer_list<VARIANT> args) {
    return Invoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}

ScopedVariant GetProperty(IDispatch* object, const std::wstring& name,
                          std::initializer_list<VARIANT> args) {
    // Asked as scripts ask: some servers (Wine's WMI objects among them) answer a property
    // only to method-or-property-get.
    return Invoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}

void SetProperty(IDispatch* object, const std::wstring& name, const VARIANT& value) {
    Invoke(object, name, DISPATCH_PROPERTYPUT, {value}, DISPID_PROPERTYPUT);
}

VARIANT RefTo(VARIANT& target) {
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &target;
    return ref;
}

Microsoft::WRL::ComPtr<IDispatch> DispatchOf(const VARIANT& v) {
    Microsoft::WRL::ComPtr<IDispatch> dispatch;
    if (v.vt == VT_DISPATCH)
        dispatch = v.pdispVal;
    else if (v.vt == VT_UNKNOWN && v.punkVal)
        v.punkVal->QueryInterface(IID_PPV_ARGS(&dispatch));
    return dispatch;
}

Microsoft::WRL::ComPtr<IEnumVARIANT> EnumeratorOf(IDispatch* collection) {
    ScopedVariant result =
        InvokeId(collection, DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {});
    Microsoft::WRL::ComPtr<IEnumVARIANT> enumerator;
    IUnknown* unknown = result.Type() == VT_UNKNOWN || result.Type() == VT_DISPATCH
                            ? result.Get().punkVal
                            : nullptr;
    if (!unknown) throw EComError(SystemErrorMessage(E_NOINTERFACE), E_NOINTERFACE);
    ComCheck(unknown->QueryInterface(IID_PPV_ARGS(&enumerator)));
    return enumerator;
}

bool HasMember(IDispatch* object, const std::wstring& name) {
    if (!object) return false;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    return SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
}

namespace {
// urlmon is loaded at the first binding, not with the program: it brings wininet and the
// network stack along, which a start that goes to the tray does not need. From the system
// folder only, so no file beside the program is taken for it.
HRESULT ParseDisplayName(IBindCtx* context, const wchar_t* name, ULONG* eaten, IMoniker** moniker) {
    using TParse = HRESULT(WINAPI*)(IBindCtx*, LPCWSTR, ULONG*, IMoniker**);
    static const TParse parse = []() -> TParse {
        const HMODULE urlmon = LoadSystemLibrary(L"urlmon.dll");
        if (!urlmon) return nullptr;
        // Through void*: a FARPROC has no parameters, and GCC warns of the cast otherwise.
        return reinterpret_cast<TParse>(
            reinterpret_cast<void*>(GetProcAddress(urlmon, "MkParseDisplayNameEx")));
    }();
    return parse ? parse(context, name, eaten, moniker) : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}
} // namespace

Microsoft::WRL::ComPtr<IDispatch> BindObject(const std::wstring& displayName) {
    Microsoft::WRL::ComPtr<IBindCtx> context;
    ComCheck(CreateBindCtx(0, &context));
    Microsoft::WRL::ComPtr<IMoniker> moniker;
    ULONG eaten = 0;
    ComCheck(ParseDisplayName(context.Get(), displayName.c_str(), &eaten, &moniker));
    Microsoft::WRL::ComPtr<IUnknown> object;
    ComCheck(moniker->BindToObject(context.Get(), nullptr, IID_IUnknown,
                                   reinterpret_cast<void**>(object.GetAddressOf())));
    Microsoft::WRL::ComPtr<IDispatch> dispatch;
    ComCheck(object.As(&dispatch));
    return dispatch;
}
