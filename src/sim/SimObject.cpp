#include "sim/SimObject.h"

#include "wbem/WbemScripting.h"
#include "sim/SimAdapterMethods.h"
#include "sim/SimCollection.h"
#include "sim/SimLocator.h"
#include "sim/SimMethod.h"
#include "sim/SimMofText.h"
#include "sim/SimQualifiers.h"
#include "sim/SimRecord.h"

namespace {
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

bool IsSystemClass(const TSimClassDef& cls) {
    return cls.Name.rfind(L"__", 0) == 0;
}

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

// One entry of Properties_: a property of its owner, whose value it reads and writes.
class TSimProperty : public TSimDispatch {
public:
    TSimProperty(ComPtr<TSimWmiObject> owner, size_t at, bool amended)
        : TSimDispatch(
              {L"Name", L"Value", L"CIMType", L"IsArray", L"IsLocal", L"Origin", L"Qualifiers_"},
              IID_NULL),
          FOwner(std::move(owner)), FAt(at), FAmended(amended) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
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
            return AsVariant(SimQualifierSet(FOwner->Class().Name == L"__PARAMETERS"
                                                 ? SimParameterQualifiers(def, FAt)
                                                 : SimPropertyQualifiers(def),
                                             FAmended)
                                 .Get());
        }
    }

private:
    ComPtr<TSimWmiObject> FOwner;
    size_t FAt;
    bool FAmended;
};
} // namespace

TSimWmiObject::TSimWmiObject(std::shared_ptr<TSimRepository> repository,
                             std::shared_ptr<const TSimClassDef> cls, std::wstring nameSpace,
                             std::vector<ScopedVariant> values, bool amended)
    : TSimDispatch({L"Properties_", L"Methods_", L"Path_", L"GetObjectText_", L"Qualifiers_",
                    L"SpawnInstance_", L"ExecMethod_"},
                   kIidSWbemObject),
      FRepository(std::move(repository)), FClass(std::move(cls)), FNamespace(std::move(nameSpace)),
      FIsClass(values.empty()), FValues(std::move(values)), FAmended(amended) {
    if (FIsClass)
        for (size_t i = 0; i < FClass->Properties.size(); ++i)
            FValues.push_back(SimNull());
    for (const TSimPropertyDef& p : FClass->Properties)
        AddMember(p.Name);
    for (const TSimMethodDef& m : FClass->Methods)
        AddMember(m.Name);
}

std::wstring TSimWmiObject::RelPath() const {
    if (IsSystemClass(*FClass)) return {};
    if (FIsClass) return FClass->Name;
    std::wstring keys;
    for (size_t i = 0; i < FClass->Properties.size(); ++i) {
        const TSimPropertyDef& p = FClass->Properties[i];
        if (!p.Key) continue;
        keys += keys.empty() ? L"" : L",";
        keys += p.Name + L"=" + SimMofValue(p, FValues[i].Get());
    }
    return FClass->Name + L"." + keys;
}

std::wstring TSimWmiObject::ObjectText() const {
    return SimObjectText(*FClass, FIsClass, FValues);
}

int TSimWmiObject::AdapterIndex() const {
    for (size_t i = 0; i < FClass->Properties.size(); ++i)
        if (SameText(FClass->Properties[i].Name, L"Index") && FValues[i].Type() == VT_I4)
            return FValues[i].Get().lVal;
    return -1;
}

ScopedVariant TSimWmiObject::Call(size_t member, WORD flags, const TSimArgs& args) {
    const size_t properties = FClass->Properties.size();
    if (member >= mFixed + properties)
        return CallMethod(FClass->Methods[member - mFixed - properties], args);
    if (member >= mFixed) {
        ScopedVariant& value = FValues[member - mFixed];
        if (IsGet(flags)) return ScopedVariant::Copy(value.Get());
        // A put changes this copy only, as it does until Put_ writes an object back.
        value = args.Value(args.Count() - 1);
        return {};
    }
    ReadOnly(flags);
    switch (member) {
    case mProperties:
        return AsVariant(PropertySet().Get());
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
    default:
        return AsVariant(ClassQualifiers().Get());
    }
}

ScopedVariant TSimWmiObject::CallMethod(const TSimMethodDef& method, const TSimArgs& args) {
    // Methods that change an adapter are instance methods.
    if (FIsClass || AdapterIndex() < 0) throw SimError(WBEM_E_INVALID_METHOD);
    return SimCallAdapterMethod(*FRepository, AdapterIndex(), method.Name, args);
}

// ExecMethod_(name, in-parameters): the in-parameters' values become the method's arguments in
// their order (one without a value as not supplied, trailing ones left out); the answer is an
// out-parameters object with ReturnValue.
ScopedVariant TSimWmiObject::ExecMethod(const std::wstring& name, IDispatch* in) {
    const TSimMethodDef* method = nullptr;
    for (const TSimMethodDef& m : FClass->Methods)
        if (SameText(m.Name, name)) method = &m;
    if (!method) throw SimError(WBEM_E_NOT_FOUND);
    auto* params = dynamic_cast<TSimWmiObject*>(Implementation(in));
    std::vector<ScopedVariant> values;
    for (const TSimPropertyDef& p : method->InParameters) {
        ScopedVariant value = ScopedVariant::NotSupplied();
        if (params)
            for (size_t i = 0; i < params->FClass->Properties.size(); ++i)
                if (SameText(params->FClass->Properties[i].Name, p.Name) &&
                    !VariantIsNull(params->FValues[i].Get()))
                    value = ScopedVariant::Copy(params->FValues[i].Get());
        values.push_back(std::move(value));
    }
    while (!values.empty() && values.back().Type() == VT_ERROR)
        values.pop_back();
    std::vector<VARIANT> reversed;
    for (auto v = values.rbegin(); v != values.rend(); ++v)
        reversed.push_back(v->Get());
    const DISPPARAMS dispParams{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    std::vector<ScopedVariant> out;
    out.push_back(CallMethod(*method, TSimArgs(dispParams)));
    return AsVariant(MakeSim<TSimWmiObject>(FRepository, SimOutParameterClass(), FNamespace,
                                            std::move(out), false)
                         .Get());
}

ComPtr<TSimDispatch> TSimWmiObject::PropertySet() {
    std::vector<TSimCollection::TEntry> entries;
    for (size_t i = 0; i < FClass->Properties.size(); ++i)
        entries.push_back({FClass->Properties[i].Name,
                           MakeSim<TSimProperty>(ComPtr<TSimWmiObject>(this), i, FAmended)});
    return MakeSim<TSimCollection>(std::move(entries));
}

ComPtr<TSimDispatch> TSimWmiObject::MethodSet() {
    std::vector<TSimCollection::TEntry> entries;
    for (const TSimMethodDef& m : FClass->Methods)
        entries.push_back({m.Name, MakeSim<TSimMethod>(FRepository, *FClass, m, FAmended)});
    return MakeSim<TSimCollection>(std::move(entries));
}

ComPtr<TSimDispatch> TSimWmiObject::ClassQualifiers() const {
    std::vector<TSimQualifier> q;
    if (!IsSystemClass(*FClass)) {
        q.push_back(SimQualifier(L"dynamic", ScopedVariant(true)));
        q.push_back(SimQualifier(L"Locale", ScopedVariant(1033)));
        q.push_back(SimQualifier(L"provider", ScopedVariant(std::wstring(L"CIMWin32"))));
    }
    return SimQualifierSet(q, FAmended);
}
