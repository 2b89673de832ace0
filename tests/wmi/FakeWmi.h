#pragma once
// Small automation objects that stand in for WMI's scripting objects in the component tests:
// objects whose members are functions, a locator and a named-value set registered for this
// process, and builders for WMI objects with typed, qualified properties.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "framework/ComTypes.h"

using Microsoft::WRL::ComPtr;

// Raised inside a member to make the call fail with that code.
struct TFakeFailure {
    HRESULT Code;
};

class TFakeObject : public IDispatch {
public:
    // Arguments in natural order, references already followed.
    using TMember = std::function<ScopedVariant(const std::vector<const VARIANT*>& args)>;
    static ComPtr<TFakeObject> Create();

    TFakeObject* On(const std::wstring& name, TMember member);
    TFakeObject* Value(const std::wstring& name, ScopedVariant value);
    TFakeObject* Object(const std::wstring& name, ComPtr<IDispatch> object);
    // Makes the object a collection whose enumerator yields these, then fails with the code.
    TFakeObject* Items(std::vector<ComPtr<IDispatch>> items, HRESULT endError = S_OK);
    std::function<void(const std::wstring& name, const VARIANT& value)> OnPut;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++FRefs; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* info, UINT*) override;

private:
    TFakeObject() = default;
    virtual ~TFakeObject() = default;

    ULONG FRefs = 0;
    std::vector<std::pair<std::wstring, TMember>> FMembers;  // DISPID = position + 1
    bool FEnumerable = false;
    std::vector<ComPtr<IDispatch>> FItems;
    HRESULT FEndError = S_OK;
};

ScopedVariant DispatchValue(IDispatch* object);
// A VT_ARRAY | VT_VARIANT of texts; no texts give an empty array.
ScopedVariant TextArray(const std::vector<std::wstring>& texts);
ScopedVariant NullValue();

// A variant that copies, for building fixtures from brace lists.
struct TFakeValue {
    TFakeValue() = default;
    TFakeValue(ScopedVariant v) : V(std::move(v)) {}
    TFakeValue(const TFakeValue& other) : V(ScopedVariant::Copy(other.V.Get())) {}
    TFakeValue& operator=(const TFakeValue& other) {
        V = ScopedVariant::Copy(other.V.Get());
        return *this;
    }
    ScopedVariant V;
};

struct TFakeProperty {
    TFakeProperty() = default;
    TFakeProperty(std::wstring name, int cimType, TFakeValue value, bool isArray = false,
                  std::vector<std::pair<std::wstring, bool>> qualifiers = {})
        : Name(std::move(name)), CimType(cimType), Value(std::move(value)), IsArray(isArray),
          Qualifiers(std::move(qualifiers)) {}
    std::wstring Name;
    int CimType = 8;
    TFakeValue Value;
    bool IsArray = false;
    std::vector<std::pair<std::wstring, bool>> Qualifiers;  // name, Boolean value
};

struct TFakeMethod {
    std::wstring Name;
    std::vector<TFakeProperty> InParameters;
    std::vector<std::pair<std::wstring, TFakeValue>> Qualifiers;
};

// A WMI object of the class with these properties (in this order) and methods.
ComPtr<IDispatch> MakeWmiObject(const std::wstring& className, std::vector<TFakeProperty> properties,
                                std::vector<TFakeMethod> methods = {});

// The locator and named-value set of this process while it lives.
class TFakeWmi {
public:
    TFakeWmi();
    ~TFakeWmi();
    TFakeWmi(const TFakeWmi&) = delete;
    TFakeWmi& operator=(const TFakeWmi&) = delete;

    struct TConnect {
        std::vector<std::wstring> Args;  // as text
        bool HasContext = false;
        std::vector<std::pair<std::wstring, std::wstring>> Context;  // named values in order
    };
    std::vector<TConnect> Connects;
    int ImpersonationLevel = 0;
    std::vector<std::pair<std::wstring, int>> Queries;  // text and flags
    std::vector<std::pair<std::wstring, int>> Gets;     // path and flags
    // The rows of a query; by default the rows of Rows.
    std::function<std::vector<ComPtr<IDispatch>>(const std::wstring& text)> OnQuery;
    std::vector<ComPtr<IDispatch>> Rows;
    HRESULT ConnectError = S_OK;
    HRESULT EnumError = S_OK;        // the enumerator fails after the rows
    std::map<std::wstring, ComPtr<IDispatch>> Objects;  // what Get finds, by path or class

private:
    ComPtr<IDispatch> MakeServices();
    DWORD FLocatorCookie = 0, FContextCookie = 0;
};
