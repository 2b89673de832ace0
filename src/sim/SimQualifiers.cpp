#include "sim/SimQualifiers.h"

#include "sim/SimCollection.h"
#include "sim/SimRecord.h"

namespace {
ComPtr<TSimDispatch> QualifierObject(const TSimQualifier& q) {
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
} // namespace

TSimQualifier SimQualifier(std::wstring name, ScopedVariant value, bool amended) {
    return {std::move(name), std::make_shared<ScopedVariant>(std::move(value)), amended};
}

ComPtr<TSimDispatch> SimQualifierSet(const std::vector<TSimQualifier>& qualifiers, bool amended) {
    std::vector<TSimCollection::TEntry> entries;
    for (const TSimQualifier& q : qualifiers)
        if (amended || !q.Amended) entries.push_back({q.Name, QualifierObject(q)});
    return MakeSim<TSimCollection>(std::move(entries));
}

std::vector<TSimQualifier> SimPropertyQualifiers(const TSimPropertyDef& def) {
    std::vector<TSimQualifier> q;
    q.push_back(SimQualifier(L"CIMTYPE", ScopedVariant(SimCimTypeName(def.CimType))));
    if (def.Key) q.push_back(SimQualifier(L"key", ScopedVariant(true)));
    q.push_back(SimQualifier(L"read", ScopedVariant(true)));
    if (def.ReadOnly) q.push_back(SimQualifier(L"ReadOnly", ScopedVariant(true)));
    return q;
}

// A method parameter's: its type, its position and its direction.
std::vector<TSimQualifier> SimParameterQualifiers(const TSimPropertyDef& def, size_t at) {
    std::vector<TSimQualifier> q;
    q.push_back(SimQualifier(L"CIMTYPE", ScopedVariant(SimCimTypeName(def.CimType))));
    q.push_back(SimQualifier(L"ID", ScopedVariant(static_cast<int>(at))));
    q.push_back(SimQualifier(def.Name == L"ReturnValue" ? L"out" : L"In", ScopedVariant(true)));
    return q;
}

// The return codes the adapter methods document, as their ValueMap / Values qualifiers give them.
std::vector<TSimQualifier> SimMethodQualifiers() {
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
    std::vector<TSimQualifier> q;
    q.push_back(SimQualifier(L"Implemented", ScopedVariant(true)));
    q.push_back(SimQualifier(
        L"MappingStrings",
        SimStringArray({L"Win32API|Device Input and Output Functions|DeviceIoControl"})));
    q.push_back(SimQualifier(L"ValueMap", SimStringArray(map)));
    // Descriptive texts are amended qualifiers: only a class read with wbemFlagUseAmendedQualifiers
    // has them.
    q.push_back(SimQualifier(L"Values", SimStringArray(values), true));
    return q;
}
