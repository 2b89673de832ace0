#include "SimRepository.h"

#include "SimDispatch.h"

namespace {
// Properties in the order WMI lists them: by name, ignoring case.
const std::vector<TSimClassDef>& Classes() {
    static const std::vector<TSimClassDef> classes = {
        {L"Win32_NetworkAdapterConfiguration",
         L"CIM_Setting",
         {
             {L"DefaultIPGateway", CimString, true},
             {L"Description", CimString, false, false, true},
             {L"DHCPEnabled", CimBoolean},
             {L"DHCPLeaseObtained", CimDatetime},
             {L"DHCPServer", CimString},
             {L"DNSServerSearchOrder", CimString, true},
             {L"GatewayCostMetric", CimUint16, true},
             {L"Index", CimUint32, false, true, true},
             {L"IPAddress", CimString, true},
             {L"IPEnabled", CimBoolean},
             {L"IPSubnet", CimString, true},
             {L"MACAddress", CimString, false, false, true},
         },
         {
             {L"EnableDHCP", {}},
             {L"EnableStatic", {{L"IPAddress", CimString, true}, {L"SubnetMask", CimString, true}}},
             {L"SetGateways",
              {{L"DefaultIPGateway", CimString, true}, {L"GatewayCostMetric", CimUint16, true}}},
             {L"SetDNSServerSearchOrder", {{L"DNSServerSearchOrder", CimString, true}}},
         }},
        {L"Win32_NetworkAdapter",
         L"CIM_NetworkAdapter",
         {
             {L"AdapterType", CimString, false, false, true},
             {L"Description", CimString, false, false, true},
             {L"DeviceID", CimString, false, true, true},
             {L"Index", CimUint32, false, false, true},
             {L"MACAddress", CimString, false, false, true},
             {L"Name", CimString, false, false, true},
             {L"NetConnectionID", CimString},
             {L"Speed", CimUint64, false, false, true},
         },
         {}},
    };
    return classes;
}

ScopedVariant Text(const std::wstring& text) {
    return text.empty() ? SimNull() : ScopedVariant(text);
}

// An empty list is null, as WMI reports a property without a value.
ScopedVariant StringArray(const std::vector<std::wstring>& items) {
    return items.empty() ? SimNull() : SimStringArray(items);
}

ScopedVariant IntegerArray(const std::vector<int>& items) {
    std::vector<ScopedVariant> variants;
    for (int item : items)
        variants.emplace_back(item);
    return items.empty() ? SimNull() : SimVariantArray(std::move(variants));
}

ScopedVariant Value(const std::wstring& name, const TSimAdapter& a) {
    if (name == L"DefaultIPGateway") return StringArray(a.DefaultIPGateway);
    if (name == L"Description" || name == L"Name") return Text(a.Description);
    if (name == L"DHCPEnabled") return ScopedVariant(a.DHCPEnabled);
    if (name == L"DHCPLeaseObtained") return Text(a.DHCPLeaseObtained);
    if (name == L"DHCPServer") return Text(a.DHCPServer);
    if (name == L"DNSServerSearchOrder") return StringArray(a.DNSServerSearchOrder);
    if (name == L"GatewayCostMetric") return IntegerArray(a.GatewayCostMetric);
    if (name == L"Index") return ScopedVariant(a.Index);
    if (name == L"IPAddress") return StringArray(a.IPAddress);
    if (name == L"IPEnabled") return ScopedVariant(a.IPEnabled);
    if (name == L"IPSubnet") return StringArray(a.IPSubnet);
    if (name == L"MACAddress") return Text(a.MACAddress);
    if (name == L"AdapterType") return Text(a.AdapterType);
    if (name == L"DeviceID") return ScopedVariant(std::to_wstring(a.Index));
    if (name == L"NetConnectionID") return Text(a.NetConnectionID);
    // WMI hands 64-bit integers to automation as text.
    if (name == L"Speed") return ScopedVariant(std::to_wstring(a.Speed));
    return SimNull();
}
} // namespace

std::shared_ptr<const TSimClassDef> TSimRepository::FindClass(const std::wstring& nameSpace,
                                                              const std::wstring& name) const {
    if (nameSpace != L"root\\cimv2") return nullptr;
    for (const TSimClassDef& cls : Classes())
        // The adapter classes live as long as the process.
        if (SameName(cls.Name, name))
            return std::shared_ptr<const TSimClassDef>(&cls, [](const TSimClassDef*) {});
    for (const TAddedClass& added : AddedClasses)
        if (SameName(added.Class->Name, name)) return added.Class;
    return nullptr;
}

std::vector<std::vector<ScopedVariant>> TSimRepository::Instances(const TSimClassDef& cls) const {
    std::vector<std::vector<ScopedVariant>> instances;
    for (const TAddedClass& added : AddedClasses) {
        if (added.Class.get() != &cls) continue;
        for (const std::vector<ScopedVariant>& stored : added.Instances) {
            std::vector<ScopedVariant> values;
            for (const ScopedVariant& v : stored)
                values.push_back(ScopedVariant::Copy(v.Get()));
            instances.push_back(std::move(values));
        }
        return instances;
    }
    for (const TSimAdapter& adapter : Adapters) {
        std::vector<ScopedVariant> values;
        for (const TSimPropertyDef& p : cls.Properties)
            values.push_back(Value(p.Name, adapter));
        instances.push_back(std::move(values));
    }
    return instances;
}

bool IsAdapterClass(const std::wstring& name) {
    for (const TSimClassDef& cls : Classes())
        if (SameName(cls.Name, name)) return true;
    return false;
}

std::wstring SimCimTypeName(long cimType) {
    static const std::pair<long, const wchar_t*> names[] = {
        {CimSint16, L"sint16"}, {CimSint32, L"sint32"},     {CimReal32, L"real32"},
        {CimReal64, L"real64"}, {CimString, L"string"},     {CimBoolean, L"boolean"},
        {CimObject, L"object"}, {CimSint8, L"sint8"},       {CimUint8, L"uint8"},
        {CimUint16, L"uint16"}, {CimUint32, L"uint32"},     {CimSint64, L"sint64"},
        {CimUint64, L"uint64"}, {CimDatetime, L"datetime"}, {CimReference, L"ref"},
        {CimChar16, L"char16"},
    };
    for (const auto& [type, name] : names)
        if (type == cimType) return name;
    return L"object";
}

std::wstring SimNamespace(const std::wstring& name) {
    std::wstring folded = name;
    for (wchar_t& c : folded)
        if (c == L'/') c = L'\\';
    if (folded.empty() || SameName(folded, L"root\\cimv2")) return L"root\\cimv2";
    // The events namespace connects; it has none of the adapter classes.
    if (SameName(folded, L"root\\wmi")) return L"root\\WMI";
    return {};
}

TSimAdapter* TSimRepository::FindAdapter(int index) {
    for (TSimAdapter& a : Adapters)
        if (a.Index == index) return &a;
    return nullptr;
}

const TSimRepository::TOutcome* TSimRepository::OutcomeFor(const std::wstring& method,
                                                           int adapterIndex) const {
    const TOutcome* general = nullptr;
    for (const TOutcome& o : Outcomes) {
        if (!SameName(o.Method, method)) continue;
        if (o.AdapterIndex == adapterIndex) return &o;
        if (o.AdapterIndex == -1) general = &o;
    }
    return general;
}

void TSimRepository::SetOutcome(TOutcome outcome) {
    for (TOutcome& o : Outcomes)
        if (SameName(o.Method, outcome.Method) && o.AdapterIndex == outcome.AdapterIndex) {
            o = std::move(outcome);
            return;
        }
    Outcomes.push_back(std::move(outcome));
}
