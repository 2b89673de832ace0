#include "FakeWmi.h"

#include <memory>

#include "framework/DataSet.h"
#include "framework/Strings.h"

namespace {
const CLSID kLocatorClass = {0x76A64158, 0xCB41, 0x11D1, {0x8B, 0x02, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};
const CLSID kNamedValueSetClass = {0x9AED384E, 0xCE8B, 0x11D1, {0x8B, 0x05, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};

std::wstring Text(const VARIANT* v) { return VariantToText(*v); }

class TFakeEnum : public IEnumVARIANT {
public:
    TFakeEnum(std::vector<ComPtr<IDispatch>> items, HRESULT endError)
        : FItems(std::move(items)), FEndError(endError) {}
    virtual ~TFakeEnum() = default;
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IEnumVARIANT) {
            *object = static_cast<IEnumVARIANT*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++FRefs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG refs = --FRefs;
        if (!refs) delete this;
        return refs;
    }
    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override {
        ULONG n = 0;
        for (; n < count && FNext < FItems.size(); ++n, ++FNext) {
            VariantInit(&items[n]);
            items[n].vt = VT_DISPATCH;
            items[n].pdispVal = FItems[FNext].Get();
            items[n].pdispVal->AddRef();
        }
        if (fetched) *fetched = n;
        if (n < count && FAILED(FEndError)) return FEndError;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        FNext += count;
        return FNext <= FItems.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        FNext = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    ULONG FRefs = 0;
    std::vector<ComPtr<IDispatch>> FItems;
    HRESULT FEndError;
    size_t FNext = 0;
};

class TFactory : public IClassFactory {
public:
    explicit TFactory(std::function<ComPtr<IDispatch>()> create) : FCreate(std::move(create)) {}
    virtual ~TFactory() = default;
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++FRefs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG refs = --FRefs;
        if (!refs) delete this;
        return refs;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        return FCreate()->QueryInterface(riid, object);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    ULONG FRefs = 0;
    std::function<ComPtr<IDispatch>()> FCreate;
};

using TNamedValues = std::vector<std::pair<std::wstring, std::wstring>>;
// The named values of each context object made, by its address.
std::map<IDispatch*, std::shared_ptr<TNamedValues>> contexts;

ComPtr<IDispatch> NamedCollection(std::vector<std::pair<std::wstring, ComPtr<IDispatch>>> items) {
    std::vector<ComPtr<IDispatch>> list;
    for (auto& item : items) list.push_back(item.second);
    auto set = TFakeObject::Create();
    set->Value(L"Count", ScopedVariant(static_cast<int>(items.size())));
    set->On(L"Item", [items](const std::vector<const VARIANT*>& args) {
        const std::wstring name = UpperCase(Text(args.at(0)));
        for (const auto& item : items)
            if (UpperCase(item.first) == name) return DispatchValue(item.second.Get());
        throw TFakeFailure{static_cast<HRESULT>(0x80041002)};
    });
    set->Items(std::move(list));
    return set;
}

ComPtr<IDispatch> MakeQualifier(const std::wstring& name, const VARIANT& value) {
    auto qualifier = TFakeObject::Create();
    qualifier->Value(L"Name", ScopedVariant(name))
        ->Value(L"Value", ScopedVariant::Copy(value))
        ->Value(L"IsLocal", ScopedVariant(true))
        ->Value(L"PropagatesToSubclass", ScopedVariant(true))
        ->Value(L"IsOverridable", ScopedVariant(false))
        ->Value(L"IsAmended", ScopedVariant(name == L"Values"));
    return qualifier;
}

ComPtr<IDispatch> MakeProperty(const TFakeProperty& p) {
    std::vector<std::pair<std::wstring, ComPtr<IDispatch>>> qualifiers;
    for (const auto& q : p.Qualifiers)
        qualifiers.emplace_back(q.first, MakeQualifier(q.first, ScopedVariant(q.second).Get()));
    auto property = TFakeObject::Create();
    property->Value(L"Name", ScopedVariant(p.Name))
        ->Value(L"Value", ScopedVariant::Copy(p.Value.V.Get()))
        ->Value(L"CIMType", ScopedVariant(p.CimType))
        ->Value(L"IsArray", ScopedVariant(p.IsArray))
        ->Object(L"Qualifiers_", NamedCollection(std::move(qualifiers)));
    return property;
}

ComPtr<IDispatch> MakeProperties(const std::vector<TFakeProperty>& properties) {
    std::vector<std::pair<std::wstring, ComPtr<IDispatch>>> items;
    for (const auto& p : properties) items.emplace_back(p.Name, MakeProperty(p));
    return NamedCollection(std::move(items));
}
}  // namespace

// ---------------------------------------------------------------------------------------------

ComPtr<TFakeObject> TFakeObject::Create() { return ComPtr<TFakeObject>(new TFakeObject); }

TFakeObject* TFakeObject::On(const std::wstring& name, TMember member) {
    FMembers.emplace_back(name, std::move(member));
    return this;
}

TFakeObject* TFakeObject::Value(const std::wstring& name, ScopedVariant value) {
    auto shared = std::make_shared<ScopedVariant>(std::move(value));
    return On(name, [shared](const auto&) { return ScopedVariant::Copy(shared->Get()); });
}

TFakeObject* TFakeObject::Object(const std::wstring& name, ComPtr<IDispatch> object) {
    return On(name, [object](const auto&) { return DispatchValue(object.Get()); });
}

TFakeObject* TFakeObject::Items(std::vector<ComPtr<IDispatch>> items, HRESULT endError) {
    FEnumerable = true;
    FItems = std::move(items);
    FEndError = endError;
    return this;
}

STDMETHODIMP TFakeObject::QueryInterface(REFIID riid, void** object) {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TFakeObject::Release() {
    const ULONG refs = --FRefs;
    if (!refs) delete this;
    return refs;
}

STDMETHODIMP TFakeObject::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

STDMETHODIMP TFakeObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (count != 1) return DISP_E_UNKNOWNNAME;
    const std::wstring name = UpperCase(names[0]);
    for (size_t i = 0; i < FMembers.size(); ++i)
        if (UpperCase(FMembers[i].first) == name) {
            ids[0] = static_cast<DISPID>(i + 1);
            return S_OK;
        }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP TFakeObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* info, UINT*) {
    if (id == DISPID_NEWENUM) {
        if (!FEnumerable || !result) return DISP_E_MEMBERNOTFOUND;
        auto* enumerator = new TFakeEnum(FItems, FEndError);
        enumerator->AddRef();
        VariantInit(result);
        result->vt = VT_UNKNOWN;
        result->punkVal = enumerator;
        return S_OK;
    }
    if (id < 1 || static_cast<size_t>(id) > FMembers.size()) return DISP_E_MEMBERNOTFOUND;
    std::vector<const VARIANT*> args;
    for (UINT i = params->cArgs; i-- > params->cNamedArgs;) {
        const VARIANT* arg = &params->rgvarg[i];
        if (arg->vt == (VT_BYREF | VT_VARIANT)) arg = arg->pvarVal;
        args.push_back(arg);
    }
    if (flags & DISPATCH_PROPERTYPUT) {
        if (OnPut) OnPut(FMembers[static_cast<size_t>(id - 1)].first, params->rgvarg[0]);
        return S_OK;
    }
    try {
        ScopedVariant value = FMembers[static_cast<size_t>(id - 1)].second(args);
        if (result) *result = value.Release();
        return S_OK;
    } catch (const TFakeFailure& failure) {
        if (info) {
            *info = EXCEPINFO{};
            info->scode = failure.Code;
        }
        return DISP_E_EXCEPTION;
    }
}

ScopedVariant DispatchValue(IDispatch* object) {
    ScopedVariant v;
    VARIANT* slot = v.Receive();
    slot->vt = VT_DISPATCH;
    slot->pdispVal = object;
    if (object) object->AddRef();
    return v;
}

ScopedVariant TextArray(const std::vector<std::wstring>& texts) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(texts.size()), 0};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
        ScopedVariant item(texts[static_cast<size_t>(i)]);
        SafeArrayPutElement(array, &i, item.Ptr());
    }
    ScopedVariant v;
    v.SetArray(array, VT_VARIANT);
    return v;
}

ScopedVariant NullValue() {
    ScopedVariant v;
    v.Receive()->vt = VT_NULL;
    return v;
}

ComPtr<IDispatch> MakeWmiObject(const std::wstring& className, std::vector<TFakeProperty> properties,
                                std::vector<TFakeMethod> methods) {
    auto object = TFakeObject::Create();
    auto path = TFakeObject::Create();
    path->Value(L"Class", ScopedVariant(className))
        ->Value(L"RelPath", ScopedVariant(className + L"=1"))
        ->Value(L"Path", ScopedVariant(L"\\\\.\\root\\cimv2:" + className + L"=1"));
    std::vector<std::pair<std::wstring, ComPtr<IDispatch>>> methodObjects;
    for (const auto& m : methods) {
        auto method = TFakeObject::Create();
        std::vector<std::pair<std::wstring, ComPtr<IDispatch>>> qualifiers;
        for (const auto& q : m.Qualifiers) qualifiers.emplace_back(q.first, MakeQualifier(q.first, q.second.V.Get()));
        auto in = TFakeObject::Create();
        in->Object(L"Properties_", MakeProperties(m.InParameters));
        method->Value(L"Name", ScopedVariant(m.Name))
            ->Object(L"InParameters", m.InParameters.empty() ? nullptr : ComPtr<IDispatch>(in))
            ->Object(L"Qualifiers_", NamedCollection(std::move(qualifiers)));
        methodObjects.emplace_back(m.Name, method);
    }
    std::wstring mof = L"instance of " + className + L"\n{\n";
    for (const auto& p : properties) mof += L"\t" + p.Name + L";\n";
    mof += L"};\n";
    object->Object(L"Properties_", MakeProperties(properties))
        ->Object(L"Path_", path)
        ->Object(L"Methods_", NamedCollection(std::move(methodObjects)))
        ->Value(L"GetObjectText_", ScopedVariant(mof));
    return object;
}

// ---------------------------------------------------------------------------------------------

TFakeWmi::TFakeWmi() {
    auto* locatorFactory = new TFactory([this] {
        auto locator = TFakeObject::Create();
        locator->On(L"ConnectServer", [this](const std::vector<const VARIANT*>& args) {
            TConnect connect;
            for (size_t i = 0; i < args.size() && i < 7; ++i) connect.Args.push_back(Text(args[i]));
            if (args.size() > 7 && args[7]->vt == VT_DISPATCH && args[7]->pdispVal) {
                connect.HasContext = true;
                connect.Context = *contexts.at(args[7]->pdispVal);
            }
            Connects.push_back(connect);
            if (FAILED(ConnectError)) throw TFakeFailure{ConnectError};
            return DispatchValue(MakeServices().Get());
        });
        return ComPtr<IDispatch>(locator);
    });
    auto* contextFactory = new TFactory([] {
        auto set = TFakeObject::Create();
        auto values = std::make_shared<TNamedValues>();
        set->On(L"Add", [values](const std::vector<const VARIANT*>& args) {
            values->emplace_back(Text(args.at(0)), Text(args.at(1)));
            return ScopedVariant();
        });
        contexts[set.Get()] = values;
        return ComPtr<IDispatch>(set);
    });
    CoRegisterClassObject(kLocatorClass, locatorFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                          &FLocatorCookie);
    CoRegisterClassObject(kNamedValueSetClass, contextFactory, CLSCTX_INPROC_SERVER,
                          REGCLS_MULTIPLEUSE, &FContextCookie);
}

TFakeWmi::~TFakeWmi() {
    CoRevokeClassObject(FLocatorCookie);
    CoRevokeClassObject(FContextCookie);
}

ComPtr<IDispatch> TFakeWmi::MakeServices() {
    auto security = TFakeObject::Create();
    security->Value(L"ImpersonationLevel", ScopedVariant(0));
    security->OnPut = [this](const std::wstring&, const VARIANT& value) {
        ImpersonationLevel = VariantToText(value) == L"3" ? 3 : -1;
    };
    auto services = TFakeObject::Create();
    services->Object(L"Security_", security);
    services->On(L"ExecQuery", [this](const std::vector<const VARIANT*>& args) {
        const std::wstring text = Text(args.at(0));
        Queries.emplace_back(text, args.size() > 2 ? args[2]->lVal : -1);
        auto set = TFakeObject::Create();
        std::vector<ComPtr<IDispatch>> rows = OnQuery ? OnQuery(text) : Rows;
        set->Value(L"Count", ScopedVariant(static_cast<int>(rows.size())));
        set->Items(std::move(rows), EnumError);
        return DispatchValue(set.Get());
    });
    services->On(L"Get", [this](const std::vector<const VARIANT*>& args) {
        const std::wstring path = Text(args.at(0));
        Gets.emplace_back(path, args.size() > 1 ? args[1]->lVal : -1);
        auto found = Objects.find(path);
        if (found == Objects.end()) throw TFakeFailure{static_cast<HRESULT>(0x80041002)};
        return DispatchValue(found->second.Get());
    });
    return services;
}
