#include "SimObjects.h"

#include <chrono>

#include "WqlQuery.h"

namespace {
// The scripting interfaces the objects stand for (answered with their IDispatch part).
constexpr GUID IidLocator = {
    0x76a6415b, 0xcb41, 0x11d1, {0x8b, 0x02, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};
constexpr GUID IidServices = {
    0x76a6415c, 0xcb41, 0x11d1, {0x8b, 0x02, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};
constexpr GUID IidObject = {
    0x76a6415a, 0xcb41, 0x11d1, {0x8b, 0x02, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};
constexpr GUID IidObjectSet = {
    0x76a6415f, 0xcb41, 0x11d1, {0x8b, 0x02, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};
constexpr GUID IidEventSource = {
    0x27d54d92, 0x0ebe, 0x11d2, {0x8b, 0x22, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};
constexpr GUID IidNamedValueSet = {
    0xcf2376ea, 0xce8c, 0x11d1, {0x8b, 0x05, 0x00, 0x60, 0x08, 0x06, 0xd9, 0xb6}};

constexpr long WbemTimedOut = static_cast<long>(0x80043001);
constexpr long wbemQueryFlagPrototype = 2;
constexpr long wbemFlagReturnImmediately = 16;
constexpr long wbemFlagForwardOnly = 32;
constexpr long wbemFlagUseAmendedQualifiers = 0x20000;

ScopedVariant Long(long value) {
    return ScopedVariant(static_cast<int>(value));
}

bool IsGet(WORD flags) {
    return flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD);
}

// Properties without a setter refuse a put as WMI's scripting objects do.
void ReadOnly(WORD flags) {
    if (!IsGet(flags)) throw TSimError{DISP_E_MEMBERNOTFOUND};
}

// ---- records: read-only properties whose values are known when the object is made

// Built with Add, member by member, in the order callers see them.
class TSimRecord : public TSimDispatch {
public:
    TSimRecord() : TSimDispatch({}, IID_NULL) {}
    TSimRecord& Add(const std::wstring& name, ScopedVariant value) {
        AddMember(name);
        FValues.push_back(std::move(value));
        return *this;
    }

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs&) override {
        ReadOnly(flags);
        return ScopedVariant::Copy(FValues[member].Get());
    }

private:
    std::vector<ScopedVariant> FValues;
};

// ---- collections: Count, Item(name), _NewEnum

class TSimCollection : public TSimDispatch {
public:
    struct TEntry {
        std::wstring Name;
        ComPtr<IDispatch> Object;
    };
    enum { mCount, mItem, mNewEnum };
    TSimCollection(std::vector<TEntry> entries, const IID& iid = IID_NULL,
                   HRESULT deferredError = S_OK)
        : TSimDispatch({L"Count", L"Item", L"_NewEnum"}, iid), FEntries(std::move(entries)),
          FDeferredError(deferredError) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        if (FAILED(FDeferredError) && member != mNewEnum) throw TSimError{FDeferredError};
        switch (member) {
        case mCount:
            return Long(static_cast<long>(FEntries.size()));
        case mItem: {
            const std::wstring name = args.Text(0);
            for (const TEntry& e : FEntries)
                if (SameName(e.Name, name)) return AsVariant(e.Object.Get());
            throw SimError(WBEM_E_NOT_FOUND);
        }
        default: {
            std::vector<ComPtr<IDispatch>> items;
            for (const TEntry& e : FEntries)
                items.push_back(e.Object);
            return SimEnumeration(std::move(items), FDeferredError);
        }
        }
    }

private:
    std::vector<TEntry> FEntries;
    HRESULT FDeferredError;
};

// ---- qualifiers

struct TQualifierData {
    std::wstring Name;
    std::shared_ptr<ScopedVariant> Value;
    bool Amended = false;
};

TQualifierData Qualifier(std::wstring name, ScopedVariant value, bool amended = false) {
    return {std::move(name), std::make_shared<ScopedVariant>(std::move(value)), amended};
}

ComPtr<TSimDispatch> QualifierObject(const TQualifierData& q) {
    auto qualifier = MakeSim<TSimRecord>();
    qualifier->Add(L"Name", ScopedVariant(q.Name))
        .Add(L"Value", ScopedVariant::Copy(q.Value->Get()))
        .Add(L"IsLocal", ScopedVariant(true))
        .Add(L"PropagatesToSubclass", ScopedVariant(true))
        .Add(L"PropagatesToInstance", ScopedVariant(false))
        .Add(L"IsOverridable", ScopedVariant(true))
        .Add(L"IsAmended", ScopedVariant(q.Amended));
    return qualifier;
}

ComPtr<TSimDispatch> QualifierSet(const std::vector<TQualifierData>& qualifiers, bool amended) {
    std::vector<TSimCollection::TEntry> entries;
    for (const TQualifierData& q : qualifiers)
        if (amended || !q.Amended) entries.push_back({q.Name, QualifierObject(q)});
    return MakeSim<TSimCollection>(std::move(entries));
}

std::vector<TQualifierData> PropertyQualifiers(const TSimPropertyDef& def) {
    std::vector<TQualifierData> q;
    q.push_back(Qualifier(L"CIMTYPE", ScopedVariant(SimCimTypeName(def.CimType))));
    if (def.Key) q.push_back(Qualifier(L"key", ScopedVariant(true)));
    q.push_back(Qualifier(L"read", ScopedVariant(true)));
    if (def.ReadOnly) q.push_back(Qualifier(L"ReadOnly", ScopedVariant(true)));
    return q;
}

// A method parameter's: its type, its position and its direction.
std::vector<TQualifierData> ParameterQualifiers(const TSimPropertyDef& def, size_t at) {
    std::vector<TQualifierData> q;
    q.push_back(Qualifier(L"CIMTYPE", ScopedVariant(SimCimTypeName(def.CimType))));
    q.push_back(Qualifier(L"ID", ScopedVariant(static_cast<int>(at))));
    q.push_back(Qualifier(def.Name == L"ReturnValue" ? L"out" : L"In", ScopedVariant(true)));
    return q;
}

// The return codes the adapter methods document, as their ValueMap / Values qualifiers give them.
std::vector<TQualifierData> MethodQualifiers() {
    static const std::pair<const wchar_t*, const wchar_t*> codes[] = {
        {L"0", L"Successful completion, no reboot required"},
        {L"1", L"Successful completion, reboot required"},
        {L"64", L"Method not supported on this platform"},
        {L"65", L"Unknown failure"},
        {L"66", L"Invalid subnet mask"},
        {L"68", L"Invalid input parameter"},
        {L"69", L"More than 5 gateways specified"},
        {L"70", L"Invalid IP address"},
        {L"71", L"Invalid gateway IP address"},
        {L"84", L"IP not enabled on adapter"},
        {L"91", L"Access denied"},
        {L"100", L"DHCP not enabled on adapter"},
    };
    std::vector<std::wstring> map, values;
    for (const auto& [code, text] : codes) {
        map.push_back(code);
        values.push_back(text);
    }
    std::vector<TQualifierData> q;
    q.push_back(Qualifier(L"Implemented", ScopedVariant(true)));
    q.push_back(
        Qualifier(L"MappingStrings",
                  SimStringArray({L"Win32API|Device Input and Output Functions|DeviceIoControl"})));
    q.push_back(Qualifier(L"ValueMap", SimStringArray(map)));
    // Descriptive texts are amended qualifiers: only a class read with wbemFlagUseAmendedQualifiers
    // has them.
    q.push_back(Qualifier(L"Values", SimStringArray(values), true));
    return q;
}

// ---- objects

class TSimWmiObject;

class TSimProperty : public TSimDispatch {
public:
    TSimProperty(ComPtr<TSimWmiObject> owner, size_t at, bool amended);

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override;

private:
    ComPtr<TSimWmiObject> FOwner;
    size_t FAt;
    bool FAmended;
};

// Path_ of an object; a class or a parameter object without keys has an empty path.
ComPtr<TSimDispatch> PathObject(const std::wstring& server, const std::wstring& nameSpace,
                                const std::wstring& className, const std::wstring& relPath,
                                bool isClass) {
    const std::wstring path =
        relPath.empty() ? L"" : L"\\\\" + server + L"\\" + nameSpace + L":" + relPath;
    const std::wstring displayName =
        path.empty() ? L""
                     : L"WINMGMTS:{authenticationLevel=pkt,impersonationLevel=impersonate}!" + path;
    auto object = MakeSim<TSimRecord>();
    object->Add(L"Path", ScopedVariant(path))
        .Add(L"RelPath", ScopedVariant(relPath))
        .Add(L"Class", ScopedVariant(className))
        .Add(L"Namespace", ScopedVariant(nameSpace))
        .Add(L"Server", ScopedVariant(server))
        .Add(L"IsClass", ScopedVariant(isClass))
        .Add(L"IsSingleton", ScopedVariant(false))
        .Add(L"DisplayName", ScopedVariant(displayName))
        .Add(L"ParentNamespace", ScopedVariant(nameSpace.substr(0, nameSpace.find(L'\\'))));
    return object;
}

// An instance or a class of the repository, or a method's parameter object (class __PARAMETERS).
// Instances hold their values as read; adapter methods act on the adapter of the same Index.
class TSimWmiObject : public TSimDispatch {
public:
    enum {
        mProperties,
        mMethods,
        mPath,
        mObjectText,
        mQualifiers,
        mSpawnInstance,
        mExecMethod,
        mFixed
    };

    TSimWmiObject(std::shared_ptr<TSimRepository> repository,
                  std::shared_ptr<const TSimClassDef> cls, std::wstring nameSpace,
                  std::vector<ScopedVariant> values, bool amended)
        : TSimDispatch({L"Properties_", L"Methods_", L"Path_", L"GetObjectText_", L"Qualifiers_",
                        L"SpawnInstance_", L"ExecMethod_"},
                       IidObject),
          FRepository(std::move(repository)), FClass(std::move(cls)),
          FNamespace(std::move(nameSpace)), FIsClass(values.empty()), FValues(std::move(values)),
          FAmended(amended) {
        if (FIsClass)
            for (size_t i = 0; i < FClass->Properties.size(); ++i)
                FValues.push_back(SimNull());
        for (const TSimPropertyDef& p : FClass->Properties)
            AddMember(p.Name);
        for (const TSimMethodDef& m : FClass->Methods)
            AddMember(m.Name);
    }

    const TSimClassDef& Class() const { return *FClass; }
    ScopedVariant& Value(size_t at) { return FValues[at]; }

    std::wstring RelPath() const {
        if (FClass->Name.rfind(L"__", 0) == 0) return {};
        if (FIsClass) return FClass->Name;
        std::wstring keys;
        for (size_t i = 0; i < FClass->Properties.size(); ++i) {
            const TSimPropertyDef& p = FClass->Properties[i];
            if (!p.Key) continue;
            keys += keys.empty() ? L"" : L",";
            keys += p.Name + L"=" + MofValue(p, FValues[i].Get());
        }
        return FClass->Name + L"." + keys;
    }

    int AdapterIndex() const {
        for (size_t i = 0; i < FClass->Properties.size(); ++i)
            if (SameName(FClass->Properties[i].Name, L"Index") && FValues[i].Type() == VT_I4)
                return FValues[i].Get().lVal;
        return -1;
    }

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        const size_t properties = FClass->Properties.size();
        if (member >= mFixed + properties) {
            const TSimMethodDef& method = FClass->Methods[member - mFixed - properties];
            // Methods that change an adapter are instance methods.
            if (FIsClass || AdapterIndex() < 0) throw SimError(WBEM_E_INVALID_METHOD);
            return SimCallAdapterMethod(*FRepository, AdapterIndex(), method.Name, args);
        }
        if (member >= mFixed) {
            ScopedVariant& value = FValues[member - mFixed];
            if (IsGet(flags)) return ScopedVariant::Copy(value.Get());
            // A put changes this copy only, as it does until Put_ writes an object back.
            value = args.Value(args.Count() - 1);
            return {};
        }
        ReadOnly(flags);
        switch (member) {
        case mProperties: {
            std::vector<TSimCollection::TEntry> entries;
            for (size_t i = 0; i < properties; ++i)
                entries.push_back(
                    {FClass->Properties[i].Name, MakeSim<TSimProperty>(Self(), i, FAmended)});
            return AsVariant(MakeSim<TSimCollection>(std::move(entries)).Get());
        }
        case mMethods:
            return AsVariant(MethodSet().Get());
        case mPath:
            return AsVariant(
                PathObject(SimComputerName(), FNamespace, FClass->Name, RelPath(), FIsClass).Get());
        case mObjectText:
            return ScopedVariant(ObjectText());
        case mSpawnInstance: {
            std::vector<ScopedVariant> nulls;
            for (size_t i = 0; i < properties; ++i)
                nulls.push_back(SimNull());
            return AsVariant(
                MakeSim<TSimWmiObject>(FRepository, FClass, FNamespace, std::move(nulls), FAmended)
                    .Get());
        }
        case mExecMethod:
            return ExecMethod(args.Text(0), args.Object(1).Get());
        default: {
            std::vector<TQualifierData> q;
            if (FClass->Name.rfind(L"__", 0) != 0) {
                q.push_back(Qualifier(L"dynamic", ScopedVariant(true)));
                q.push_back(Qualifier(L"Locale", ScopedVariant(1033)));
                q.push_back(Qualifier(L"provider", ScopedVariant(std::wstring(L"CIMWin32"))));
            }
            return AsVariant(QualifierSet(q, FAmended).Get());
        }
        }
    }

private:
    ComPtr<TSimWmiObject> Self() { return ComPtr<TSimWmiObject>(this); }

    // ExecMethod_(name, in-parameters): the in-parameters' values become the method's
    // arguments in their order (one without a value as not supplied, trailing ones left out);
    // the answer is an out-parameters object with ReturnValue.
    ScopedVariant ExecMethod(const std::wstring& name, IDispatch* in) {
        const TSimMethodDef* method = nullptr;
        for (const TSimMethodDef& m : FClass->Methods)
            if (SameName(m.Name, name)) method = &m;
        if (!method) throw SimError(WBEM_E_NOT_FOUND);
        if (FIsClass || AdapterIndex() < 0) throw SimError(WBEM_E_INVALID_METHOD);
        auto* params = dynamic_cast<TSimWmiObject*>(Implementation(in));
        std::vector<ScopedVariant> values;
        for (const TSimPropertyDef& p : method->InParameters) {
            ScopedVariant value = ScopedVariant::NotSupplied();
            if (params)
                for (size_t i = 0; i < params->FClass->Properties.size(); ++i)
                    if (SameName(params->FClass->Properties[i].Name, p.Name) &&
                        params->FValues[i].Type() != VT_NULL &&
                        params->FValues[i].Type() != VT_EMPTY)
                        value = ScopedVariant::Copy(params->FValues[i].Get());
            values.push_back(std::move(value));
        }
        while (!values.empty() && values.back().Type() == VT_ERROR)
            values.pop_back();
        std::vector<VARIANT> reversed;
        for (auto v = values.rbegin(); v != values.rend(); ++v)
            reversed.push_back(v->Get());
        const DISPPARAMS dispParams{reversed.data(), nullptr, static_cast<UINT>(reversed.size()),
                                    0};
        ScopedVariant code =
            SimCallAdapterMethod(*FRepository, AdapterIndex(), method->Name, TSimArgs(dispParams));
        auto outClass = std::make_shared<TSimClassDef>(
            TSimClassDef{L"__PARAMETERS", L"", {{L"ReturnValue", CimUint32}}, {}});
        std::vector<ScopedVariant> out;
        out.push_back(std::move(code));
        return AsVariant(
            MakeSim<TSimWmiObject>(FRepository, outClass, FNamespace, std::move(out), false).Get());
    }

    ComPtr<TSimDispatch> MethodSet();

    static std::wstring MofText(const std::wstring& text) {
        std::wstring quoted = L"\"";
        for (wchar_t c : text) {
            if (c == L'\\' || c == L'"') quoted += L'\\';
            quoted += c;
        }
        return quoted + L"\"";
    }

    static std::wstring MofScalar(const TSimPropertyDef& p, const VARIANT& v) {
        if (v.vt == VT_BOOL) return v.boolVal ? L"TRUE" : L"FALSE";
        if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
            auto* embedded = dynamic_cast<TSimWmiObject*>(Implementation(v.punkVal));
            return embedded ? embedded->ObjectText() : L"";
        }
        ScopedVariant text;
        if (FAILED(VariantChangeType(text.Ptr(), const_cast<VARIANT*>(&v), 0, VT_BSTR))) return {};
        const std::wstring s(text.Get().bstrVal, SysStringLen(text.Get().bstrVal));
        const bool quoted = p.CimType == CimString || p.CimType == CimDatetime ||
                            p.CimType == CimChar16 || p.CimType == CimReference;
        return quoted ? MofText(s) : s;
    }

    static std::wstring MofValue(const TSimPropertyDef& p, const VARIANT& v) {
        if (!(v.vt & VT_ARRAY)) return MofScalar(p, v);
        std::wstring list = L"{";
        LONG low = 0, high = -1;
        SafeArrayGetLBound(v.parray, 1, &low);
        SafeArrayGetUBound(v.parray, 1, &high);
        for (LONG i = low; i <= high; ++i) {
            // Arrays of strings or numbers as well as of variants.
            ScopedVariant item = SimArrayElement(v.parray, i);
            list += (i == low ? L"" : L", ") + MofScalar(p, item.Get());
        }
        return list + L"}";
    }

public:
    std::wstring ObjectText() const {
        std::wstring text;
        if (FIsClass) {
            text = L"\nclass " + FClass->Name +
                   (FClass->Superclass.empty() ? L"" : L" : " + FClass->Superclass) + L"\n{\n";
            for (const TSimPropertyDef& p : FClass->Properties)
                text += std::wstring(L"\t") + (p.Key ? L"[key] " : L"") +
                        SimCimTypeName(p.CimType) + L" " + p.Name + (p.IsArray ? L"[]" : L"") +
                        L";\n";
        } else {
            text = L"\ninstance of " + FClass->Name + L"\n{\n";
            for (size_t i = 0; i < FClass->Properties.size(); ++i) {
                const VARIANT& v = FValues[i].Get();
                if (v.vt == VT_NULL || v.vt == VT_EMPTY) continue;
                text += L"\t" + FClass->Properties[i].Name + L" = " +
                        MofValue(FClass->Properties[i], v) + L";\n";
            }
        }
        return text + L"};\n";
    }

private:
    std::shared_ptr<TSimRepository> FRepository;
    std::shared_ptr<const TSimClassDef> FClass;
    std::wstring FNamespace;
    bool FIsClass;
    std::vector<ScopedVariant> FValues;
    bool FAmended;
};

TSimProperty::TSimProperty(ComPtr<TSimWmiObject> owner, size_t at, bool amended)
    : TSimDispatch(
          {L"Name", L"Value", L"CIMType", L"IsArray", L"IsLocal", L"Origin", L"Qualifiers_"},
          IID_NULL),
      FOwner(std::move(owner)), FAt(at), FAmended(amended) {}

ScopedVariant TSimProperty::Call(size_t member, WORD flags, const TSimArgs& args) {
    const TSimPropertyDef& def = FOwner->Class().Properties[FAt];
    if (member == 1 && !IsGet(flags)) {
        FOwner->Value(FAt) = args.Value(args.Count() - 1);
        return {};
    }
    ReadOnly(flags);
    switch (member) {
    case 0:
        return ScopedVariant(def.Name);
    case 1:
        return ScopedVariant::Copy(FOwner->Value(FAt).Get());
    case 2:
        return Long(def.CimType);
    case 3:
        return ScopedVariant(def.IsArray);
    case 4:
        return ScopedVariant(true);
    case 5:
        return ScopedVariant(FOwner->Class().Name);
    default:
        return AsVariant(QualifierSet(FOwner->Class().Name == L"__PARAMETERS"
                                          ? ParameterQualifiers(def, FAt)
                                          : PropertyQualifiers(def),
                                      FAmended)
                             .Get());
    }
}

class TSimMethod : public TSimDispatch {
public:
    TSimMethod(std::shared_ptr<TSimRepository> repository, const TSimClassDef& owner,
               const TSimMethodDef& def, bool amended)
        : TSimDispatch({L"Name", L"Origin", L"InParameters", L"OutParameters", L"Qualifiers_"},
                       IID_NULL),
          FRepository(std::move(repository)), FOwner(owner.Name), FDef(def), FAmended(amended) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs&) override {
        ReadOnly(flags);
        switch (member) {
        case 0:
            return ScopedVariant(FDef.Name);
        case 1:
            return ScopedVariant(FOwner);
        case 2:
            if (FDef.InParameters.empty()) return SimNull();
            return AsVariant(Parameters(FDef.InParameters).Get());
        case 3:
            return AsVariant(Parameters({{L"ReturnValue", CimUint32}}).Get());
        default:
            return AsVariant(QualifierSet(MethodQualifiers(), FAmended).Get());
        }
    }

private:
    ComPtr<TSimWmiObject> Parameters(std::vector<TSimPropertyDef> properties) const {
        auto cls = std::make_shared<TSimClassDef>(
            TSimClassDef{L"__PARAMETERS", L"", std::move(properties), {}});
        return MakeSim<TSimWmiObject>(FRepository, std::move(cls), L"root\\cimv2",
                                      std::vector<ScopedVariant>{}, FAmended);
    }

    std::shared_ptr<TSimRepository> FRepository;
    std::wstring FOwner;
    TSimMethodDef FDef;
    bool FAmended;
};

ComPtr<TSimDispatch> TSimWmiObject::MethodSet() {
    std::vector<TSimCollection::TEntry> entries;
    for (const TSimMethodDef& m : FClass->Methods)
        entries.push_back({m.Name, MakeSim<TSimMethod>(FRepository, *FClass, m, FAmended)});
    return MakeSim<TSimCollection>(std::move(entries));
}

// ---- named values

class TSimNamedValueObject : public TSimDispatch {
public:
    TSimNamedValueObject(std::wstring name, std::shared_ptr<ScopedVariant> value)
        : TSimDispatch({L"Name", L"Value"}, IID_NULL), FName(std::move(name)),
          FValue(std::move(value)) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        if (member == 1 && !IsGet(flags)) {
            *FValue = args.Value(args.Count() - 1);
            return {};
        }
        ReadOnly(flags);
        return member == 0 ? ScopedVariant(FName) : ScopedVariant::Copy(FValue->Get());
    }

private:
    std::wstring FName;
    std::shared_ptr<ScopedVariant> FValue;
};

class TSimNamedValueSet : public TSimDispatch {
public:
    struct TEntry {
        std::wstring Name;
        std::shared_ptr<ScopedVariant> Value;
        long Flags = 0;
    };
    TSimNamedValueSet()
        : TSimDispatch({L"Add", L"Item", L"Remove", L"DeleteAll", L"Count", L"_NewEnum"},
                       IidNamedValueSet) {}

    const std::vector<TEntry>& Entries() const { return FEntries; }

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        switch (member) {
        case 0: { // Add(name, value, flags): an existing name takes the new value
            const std::wstring name = args.Text(0);
            if (name.empty()) throw SimError(WBEM_E_INVALID_PARAMETER);
            TEntry* entry = Find(name);
            if (!entry)
                entry = &FEntries.emplace_back(TEntry{name, std::make_shared<ScopedVariant>()});
            *entry->Value = args.Value(1);
            entry->Flags = args.Long(2);
            return AsVariant(MakeSim<TSimNamedValueObject>(entry->Name, entry->Value).Get());
        }
        case 1: {
            TEntry* entry = Find(args.Text(0));
            if (!entry) throw SimError(WBEM_E_NOT_FOUND);
            return AsVariant(MakeSim<TSimNamedValueObject>(entry->Name, entry->Value).Get());
        }
        case 2: {
            TEntry* entry = Find(args.Text(0));
            if (!entry) throw SimError(WBEM_E_NOT_FOUND);
            FEntries.erase(FEntries.begin() + (entry - FEntries.data()));
            return {};
        }
        case 3:
            FEntries.clear();
            return {};
        case 4:
            return Long(static_cast<long>(FEntries.size()));
        default: {
            std::vector<ComPtr<IDispatch>> items;
            for (const TEntry& e : FEntries)
                items.push_back(MakeSim<TSimNamedValueObject>(e.Name, e.Value));
            return SimEnumeration(std::move(items));
        }
        }
    }

private:
    TEntry* Find(const std::wstring& name) {
        for (TEntry& e : FEntries)
            if (SameName(e.Name, name)) return &e;
        return nullptr;
    }
    std::vector<TEntry> FEntries;
};

// The entries of a context argument as they arrived; another provider's set is not looked into.
std::vector<TSimNamedValue> ContextValues(IDispatch* context) {
    std::vector<TSimNamedValue> values;
    auto* set = dynamic_cast<TSimNamedValueSet*>(TSimDispatch::Implementation(context));
    if (!set) return values;
    for (const TSimNamedValueSet::TEntry& e : set->Entries()) {
        TSimNamedValue value{e.Name, e.Value->Type(), {}, e.Flags};
        ScopedVariant text;
        if (SUCCEEDED(
                VariantChangeType(text.Ptr(), const_cast<VARIANT*>(&e.Value->Get()), 0, VT_BSTR)))
            value.Value.assign(text.Get().bstrVal, SysStringLen(text.Get().bstrVal));
        values.push_back(std::move(value));
    }
    return values;
}

// ---- security

// WbemPrivilegeEnum 1..27 in order.
const wchar_t* const PrivilegeNames[] = {L"SeCreateTokenPrivilege",
                                         L"SeAssignPrimaryTokenPrivilege",
                                         L"SeLockMemoryPrivilege",
                                         L"SeIncreaseQuotaPrivilege",
                                         L"SeMachineAccountPrivilege",
                                         L"SeTcbPrivilege",
                                         L"SeSecurityPrivilege",
                                         L"SeTakeOwnershipPrivilege",
                                         L"SeLoadDriverPrivilege",
                                         L"SeSystemProfilePrivilege",
                                         L"SeSystemtimePrivilege",
                                         L"SeProfileSingleProcessPrivilege",
                                         L"SeIncreaseBasePriorityPrivilege",
                                         L"SeCreatePagefilePrivilege",
                                         L"SeCreatePermanentPrivilege",
                                         L"SeBackupPrivilege",
                                         L"SeRestorePrivilege",
                                         L"SeShutdownPrivilege",
                                         L"SeDebugPrivilege",
                                         L"SeAuditPrivilege",
                                         L"SeSystemEnvironmentPrivilege",
                                         L"SeChangeNotifyPrivilege",
                                         L"SeRemoteShutdownPrivilege",
                                         L"SeUndockPrivilege",
                                         L"SeSyncAgentPrivilege",
                                         L"SeEnableDelegationPrivilege",
                                         L"SeManageVolumePrivilege"};
constexpr int PrivilegeCount = static_cast<int>(std::size(PrivilegeNames));

ComPtr<TSimDispatch> PrivilegeObject(const TSimPrivilege& privilege) {
    auto object = MakeSim<TSimRecord>();
    object->Add(L"Name", ScopedVariant(privilege.Name))
        .Add(L"Identifier", Long(privilege.Ordinal))
        .Add(L"IsEnabled", ScopedVariant(privilege.Enabled))
        .Add(L"DisplayName", ScopedVariant(privilege.Name));
    return object;
}

class TSimPrivilegeSet : public TSimDispatch {
public:
    explicit TSimPrivilegeSet(std::shared_ptr<TSimRepository> repository)
        : TSimDispatch(
              {L"Add", L"AddAsString", L"Remove", L"DeleteAll", L"Count", L"Item", L"_NewEnum"},
              IID_NULL),
          FRepository(std::move(repository)) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        switch (member) {
        case 0: {
            const long ordinal = args.Long(0);
            if (ordinal < 1 || ordinal > PrivilegeCount) throw SimError(WBEM_E_INVALID_PARAMETER);
            return Add(
                {PrivilegeNames[ordinal - 1], static_cast<int>(ordinal), args.Bool(1, true)});
        }
        case 1: {
            const std::wstring name = args.Text(0);
            for (int i = 0; i < PrivilegeCount; ++i)
                if (SameName(name, PrivilegeNames[i]))
                    return Add({PrivilegeNames[i], i + 1, args.Bool(1, true)});
            throw SimError(WBEM_E_INVALID_PARAMETER);
        }
        case 2: {
            const long ordinal = args.Long(0);
            std::erase_if(FHeld, [&](const TSimPrivilege& p) { return p.Ordinal == ordinal; });
            return {};
        }
        case 3:
            FHeld.clear();
            return {};
        case 4:
            return Long(static_cast<long>(FHeld.size()));
        case 5: {
            const long ordinal = args.Long(0);
            for (const TSimPrivilege& p : FHeld)
                if (p.Ordinal == ordinal) return AsVariant(PrivilegeObject(p).Get());
            throw SimError(WBEM_E_NOT_FOUND);
        }
        default: {
            std::vector<ComPtr<IDispatch>> items;
            for (const TSimPrivilege& p : FHeld)
                items.push_back(PrivilegeObject(p));
            return SimEnumeration(std::move(items));
        }
        }
    }

private:
    ScopedVariant Add(TSimPrivilege privilege) {
        FRepository->Privileges.push_back(privilege);
        std::erase_if(FHeld,
                      [&](const TSimPrivilege& p) { return p.Ordinal == privilege.Ordinal; });
        FHeld.push_back(privilege);
        return AsVariant(PrivilegeObject(privilege).Get());
    }
    std::shared_ptr<TSimRepository> FRepository;
    std::vector<TSimPrivilege> FHeld;
};

// Security_ of a services object or the locator. Impersonation defaults to impersonate (3).
class TSimSecurity : public TSimDispatch {
public:
    explicit TSimSecurity(std::shared_ptr<TSimRepository> repository)
        : TSimDispatch({L"ImpersonationLevel", L"AuthenticationLevel", L"Privileges"}, IID_NULL),
          FRepository(std::move(repository)), FPrivileges(MakeSim<TSimPrivilegeSet>(FRepository)) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        if (member < 2 && !IsGet(flags)) {
            const long level = args.Long(args.Count() - 1);
            if (level < 1 || level > (member == 0 ? 4 : 6))
                throw SimError(WBEM_E_INVALID_PARAMETER);
            (member == 0 ? FImpersonation : FAuthentication) = level;
            if (member == 0) FRepository->ImpersonationLevel = static_cast<int>(level);
            return {};
        }
        ReadOnly(flags);
        switch (member) {
        case 0:
            return Long(FImpersonation);
        case 1:
            return Long(FAuthentication);
        default:
            return AsVariant(FPrivileges.Get());
        }
    }

private:
    std::shared_ptr<TSimRepository> FRepository;
    ComPtr<TSimDispatch> FPrivileges;
    long FImpersonation = 3;
    long FAuthentication = 6;
};

// ---- events

std::shared_ptr<const TSimClassDef> MediaEventClass(const std::wstring& name) {
    static const std::vector<std::shared_ptr<const TSimClassDef>> classes = [] {
        std::vector<std::shared_ptr<const TSimClassDef>> list;
        for (const wchar_t* event : {L"MSNdis_StatusMediaConnect", L"MSNdis_StatusMediaDisconnect"})
            list.push_back(std::make_shared<const TSimClassDef>(
                TSimClassDef{event,
                             L"MSNdis_NotificationEvent",
                             {{L"Active", CimBoolean}, {L"InstanceName", CimString, false, true}},
                             {}}));
        return list;
    }();
    for (const auto& cls : classes)
        if (SameName(cls->Name, name)) return cls;
    return nullptr;
}

// The semisynchronous event source of ExecNotificationQuery. NextEvent(timeout) blocks the
// calling thread, which need not be the one that opened the source.
class TSimEventSource : public TSimDispatch {
public:
    TSimEventSource(std::shared_ptr<TSimRepository> repository,
                    std::shared_ptr<const TSimClassDef> cls, std::shared_ptr<TSimEventQueue> queue)
        : TSimDispatch({L"NextEvent"}, IidEventSource), FRepository(std::move(repository)),
          FClass(std::move(cls)), FQueue(std::move(queue)) {
        MakeFreeThreaded();
    }

protected:
    ScopedVariant Call(size_t, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        const long timeout = args.Long(0, -1); // WBEM_INFINITE
        std::unique_lock lock(FQueue->Lock);
        const auto arrived = [&] { return !FQueue->InstanceNames.empty(); };
        if (timeout < 0)
            FQueue->Ready.wait(lock, arrived);
        else if (!FQueue->Ready.wait_for(lock, std::chrono::milliseconds(timeout), arrived))
            throw SimError(WbemTimedOut);
        const std::wstring instanceName = FQueue->InstanceNames.front();
        FQueue->InstanceNames.pop_front();
        lock.unlock();
        std::vector<ScopedVariant> values;
        values.emplace_back(true);
        values.push_back(instanceName.empty() ? SimNull() : ScopedVariant(instanceName));
        auto event =
            MakeSim<TSimWmiObject>(FRepository, FClass, L"root\\WMI", std::move(values), false);
        event->MakeFreeThreaded();
        return AsVariant(event.Get());
    }

private:
    std::shared_ptr<TSimRepository> FRepository;
    std::shared_ptr<const TSimClassDef> FClass;
    std::shared_ptr<TSimEventQueue> FQueue;
};

// ---- services and locator

// (text, language = "WQL", flags, context) as a query call received them.
TSimQuery QueryRecord(const TSimArgs& args, long defaultFlags) {
    return {args.Text(0), args.Text(1, L"WQL"), args.Long(2, defaultFlags), !args.Missing(2),
            ContextValues(args.Object(3).Get())};
}

class TSimServices : public TSimDispatch {
public:
    TSimServices(std::shared_ptr<TSimRepository> repository, std::wstring nameSpace)
        : TSimDispatch(
              {L"ExecQuery", L"Get", L"InstancesOf", L"Security_", L"ExecNotificationQuery"},
              IidServices),
          FRepository(std::move(repository)), FNamespace(std::move(nameSpace)),
          FSecurity(MakeSim<TSimSecurity>(FRepository)) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        switch (member) {
        case 0: { // ExecQuery(text, language = "WQL", flags = wbemFlagReturnImmediately, context)
            TSimQuery record = QueryRecord(args, wbemFlagReturnImmediately);
            FRepository->Queries.push_back(record.Text);
            FRepository->QueryDetails.push_back(record);
            return RunQuery(record.Text, record.Language, record.Flags);
        }
        case 1: { // Get(path, flags, context)
            TSimGet record{args.Text(0), args.Long(1), !args.Missing(2)};
            FRepository->Gets.push_back(record);
            return AsVariant(
                SimGetObject(FRepository, FNamespace, record.Path, record.Flags).Get());
        }
        case 2: { // InstancesOf(class, flags, context)
            const std::wstring text = L"select * from " + args.Text(0);
            return RunQuery(text, L"WQL", args.Long(1, wbemFlagReturnImmediately));
        }
        case 3:
            return AsVariant(FSecurity.Get());
        default: { // ExecNotificationQuery(text, language, flags = 48, context)
            TSimQuery record = QueryRecord(args, wbemFlagReturnImmediately | wbemFlagForwardOnly);
            FRepository->NotificationQueries.push_back(record);
            return AsVariant(EventSource(record).Get());
        }
        }
    }

private:
    // Only the media events of root\WMI are simulated; the source is registered before it is
    // handed out, so no event raised afterwards is lost.
    ComPtr<TSimDispatch> EventSource(const TSimQuery& record) {
        if (!SameName(record.Language, L"WQL")) throw SimError(WBEM_E_INVALID_QUERY_TYPE);
        const TWqlQuery query = TWqlQuery::Parse(record.Text);
        std::shared_ptr<const TSimClassDef> cls =
            FNamespace == L"root\\WMI" ? MediaEventClass(query.ClassName()) : nullptr;
        if (!cls) throw SimError(WBEM_E_INVALID_CLASS);
        query.Check(*cls);
        auto queue = std::make_shared<TSimEventQueue>();
        queue->ClassName = cls->Name;
        {
            std::lock_guard guard(FRepository->EventLock);
            FRepository->EventQueues.push_back(queue);
        }
        return MakeSim<TSimEventSource>(FRepository, cls, std::move(queue));
    }

    // A query that fails answers at once without wbemFlagReturnImmediately, and otherwise when
    // its objects are first asked for, as WMI does.
    ScopedVariant RunQuery(const std::wstring& text, const std::wstring& language, long flags) {
        std::vector<TSimCollection::TEntry> entries;
        HRESULT error = S_OK;
        try {
            if (!SameName(language, L"WQL")) throw SimError(WBEM_E_INVALID_QUERY_TYPE);
            entries = Select(TWqlQuery::Parse(text), flags & wbemQueryFlagPrototype);
        } catch (const TSimError& e) {
            if (!(flags & wbemFlagReturnImmediately)) throw;
            error = e.Code;
        }
        return AsVariant(MakeSim<TSimCollection>(std::move(entries), IidObjectSet, error).Get());
    }

    std::vector<TSimCollection::TEntry> Select(const TWqlQuery& query, bool prototype) {
        std::shared_ptr<const TSimClassDef> found =
            FRepository->FindClass(FNamespace, query.ClassName());
        if (!found) throw SimError(WBEM_E_INVALID_CLASS);
        query.Check(*found);
        std::shared_ptr<const TSimClassDef> cls = found;
        if (!query.Selected().empty()) {
            // The objects carry the selected properties and the keys.
            auto narrowed = std::make_shared<TSimClassDef>(*found);
            std::erase_if(narrowed->Properties, [&](const TSimPropertyDef& p) {
                if (p.Key) return false;
                for (const std::wstring& name : query.Selected())
                    if (SameName(name, p.Name)) return false;
                return true;
            });
            cls = narrowed;
        }
        std::vector<TSimCollection::TEntry> entries;
        if (prototype) {
            // One object that shows the shape of the result, without values.
            auto object = MakeSim<TSimWmiObject>(FRepository, cls, FNamespace,
                                                 std::vector<ScopedVariant>{}, false);
            entries.push_back({cls->Name, object});
            return entries;
        }
        for (std::vector<ScopedVariant>& all : FRepository->Instances(*found)) {
            if (!query.Matches(*found, all)) continue;
            std::vector<ScopedVariant> values;
            for (const TSimPropertyDef& p : cls->Properties)
                for (size_t i = 0; i < found->Properties.size(); ++i)
                    if (found->Properties[i].Name == p.Name) values.push_back(std::move(all[i]));
            auto object =
                MakeSim<TSimWmiObject>(FRepository, cls, FNamespace, std::move(values), false);
            entries.push_back({object->RelPath(), object});
        }
        return entries;
    }

    std::shared_ptr<TSimRepository> FRepository;
    std::wstring FNamespace;
    ComPtr<TSimDispatch> FSecurity;
};

class TSimLocator : public TSimDispatch {
public:
    explicit TSimLocator(std::shared_ptr<TSimRepository> repository)
        : TSimDispatch({L"ConnectServer", L"Security_"}, IidLocator),
          FRepository(std::move(repository)), FSecurity(MakeSim<TSimSecurity>(FRepository)) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        if (member == 1) return AsVariant(FSecurity.Get());
        // ConnectServer(server, namespace, user, password, locale, authority, flags, context)
        ComPtr<IDispatch> context = args.Object(7);
        TSimConnect record{args.Text(0), args.Text(1),       args.Text(2),
                           args.Text(3), args.Text(4),       args.Text(5),
                           args.Long(6), context != nullptr, ContextValues(context.Get())};
        FRepository->Connects.push_back(record);
        if (FAILED(FRepository->ServiceError)) throw TSimError{FRepository->ServiceError};
        // Nothing leaves this process: another computer is never reachable.
        if (!SimIsLocalServer(record.Server))
            throw TSimError{HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)};
        if (!record.User.empty()) throw SimError(WBEM_E_LOCAL_CREDENTIALS);
        const std::wstring nameSpace = SimNamespace(record.NameSpace);
        if (nameSpace.empty()) throw SimError(WBEM_E_INVALID_NAMESPACE);
        return AsVariant(MakeSimServices(FRepository, nameSpace).Get());
    }

private:
    std::shared_ptr<TSimRepository> FRepository;
    ComPtr<TSimDispatch> FSecurity;
};

// Splits "Class", "Class.Key=Value[,Key=Value]" or "Class=Value" after an optional
// "\\server\namespace:" prefix.
struct TObjectPath {
    std::wstring Class;
    std::vector<std::pair<std::wstring, std::wstring>>
        Keys; // an empty key name stands for the only key
};

TObjectPath ParseObjectPath(const std::wstring& text) {
    std::wstring rest = text;
    if (rest.rfind(L"\\\\", 0) == 0 || rest.rfind(L"//", 0) == 0) {
        const size_t colon = rest.find(L':');
        if (colon == std::wstring::npos) throw SimError(WBEM_E_INVALID_OBJECT_PATH);
        rest = rest.substr(colon + 1);
    }
    TObjectPath path;
    const size_t split = rest.find_first_of(L".=");
    path.Class = rest.substr(0, split);
    if (path.Class.empty()) throw SimError(WBEM_E_INVALID_OBJECT_PATH);
    if (split == std::wstring::npos) return path;
    std::wstring keys = rest[split] == L'=' ? rest.substr(split) : rest.substr(split + 1);
    while (!keys.empty()) {
        const size_t eq = keys.find(L'=');
        if (eq == std::wstring::npos) throw SimError(WBEM_E_INVALID_OBJECT_PATH);
        std::wstring name = keys.substr(0, eq), value;
        size_t at = eq + 1;
        if (at < keys.size() && keys[at] == L'"') {
            for (++at; at < keys.size() && keys[at] != L'"'; ++at) {
                if (keys[at] == L'\\' && at + 1 < keys.size()) ++at;
                value += keys[at];
            }
            if (at >= keys.size()) throw SimError(WBEM_E_INVALID_OBJECT_PATH);
            ++at;
        } else {
            const size_t end = keys.find(L',', at);
            value = keys.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
            at = end == std::wstring::npos ? keys.size() : end;
        }
        if (value.empty()) throw SimError(WBEM_E_INVALID_OBJECT_PATH);
        path.Keys.emplace_back(std::move(name), std::move(value));
        if (at < keys.size() && keys[at] != L',') throw SimError(WBEM_E_INVALID_OBJECT_PATH);
        keys = at < keys.size() ? keys.substr(at + 1) : L"";
    }
    return path;
}
} // namespace

ComPtr<TSimDispatch> SimGetObject(const std::shared_ptr<TSimRepository>& repository,
                                  const std::wstring& nameSpace, const std::wstring& text,
                                  long flags) {
    const TObjectPath path = ParseObjectPath(text);
    std::shared_ptr<const TSimClassDef> cls = repository->FindClass(nameSpace, path.Class);
    if (!cls) throw SimError(WBEM_E_NOT_FOUND);
    const bool amended = flags & wbemFlagUseAmendedQualifiers;
    if (path.Keys.empty())
        return MakeSim<TSimWmiObject>(repository, cls, nameSpace, std::vector<ScopedVariant>{},
                                      amended);
    std::vector<size_t> keys;
    for (size_t i = 0; i < cls->Properties.size(); ++i)
        if (cls->Properties[i].Key) keys.push_back(i);
    if (keys.size() != 1 || path.Keys.size() != 1 ||
        (!path.Keys[0].first.empty() &&
         !SameName(path.Keys[0].first, cls->Properties[keys[0]].Name)))
        throw SimError(WBEM_E_INVALID_OBJECT_PATH);
    for (std::vector<ScopedVariant>& values : repository->Instances(*cls)) {
        ScopedVariant keyText;
        VariantChangeType(keyText.Ptr(), values[keys[0]].Ptr(), 0, VT_BSTR);
        if (keyText.Type() == VT_BSTR && SameName(keyText.Get().bstrVal, path.Keys[0].second))
            return MakeSim<TSimWmiObject>(repository, cls, nameSpace, std::move(values), amended);
    }
    throw SimError(WBEM_E_NOT_FOUND);
}

std::wstring SimComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? std::wstring(name, size) : L".";
}

bool SimIsLocalServer(const std::wstring& server) {
    return server.empty() || server == L"." || SameName(server, L"localhost") ||
           SameName(server, SimComputerName());
}

ComPtr<TSimDispatch> MakeSimServices(std::shared_ptr<TSimRepository> repository,
                                     std::wstring nameSpace) {
    return MakeSim<TSimServices>(std::move(repository), std::move(nameSpace));
}

ComPtr<TSimDispatch> MakeSimLocator(std::shared_ptr<TSimRepository> repository) {
    return MakeSim<TSimLocator>(std::move(repository));
}

ComPtr<TSimDispatch> MakeSimNamedValueSet() {
    return MakeSim<TSimNamedValueSet>();
}
