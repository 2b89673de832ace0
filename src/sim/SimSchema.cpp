#include "sim/SimSchema.h"

#include "sim/SimDispatch.h"

namespace {
std::shared_ptr<const TSimClassDef>
Find(const std::vector<std::shared_ptr<const TSimClassDef>>& classes, const std::wstring& name) {
    for (const auto& cls : classes)
        if (SameText(cls->Name, name)) return cls;
    return nullptr;
}
} // namespace

std::shared_ptr<const TSimClassDef> SimAdapterClass(const std::wstring& name) {
    // Properties in the order WMI lists them: by name, ignoring case.
    static const std::vector<std::shared_ptr<const TSimClassDef>> classes = {
        std::make_shared<const TSimClassDef>(TSimClassDef{
            L"Win32_NetworkAdapterConfiguration",
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
                {L"InterfaceIndex", CimUint32, false, false, true},
                {L"IPAddress", CimString, true},
                {L"IPEnabled", CimBoolean},
                {L"IPSubnet", CimString, true},
                {L"MACAddress", CimString, false, false, true},
                {L"SettingID", CimString, false, false, true},
            },
            {
                {L"EnableDHCP", {}},
                {L"EnableStatic",
                 {{L"IPAddress", CimString, true}, {L"SubnetMask", CimString, true}}},
                {L"SetGateways",
                 {{L"DefaultIPGateway", CimString, true}, {L"GatewayCostMetric", CimUint16, true}}},
                {L"SetDNSServerSearchOrder", {{L"DNSServerSearchOrder", CimString, true}}},
            }}),
        std::make_shared<const TSimClassDef>(
            TSimClassDef{L"Win32_NetworkAdapter",
                         L"CIM_NetworkAdapter",
                         {
                             {L"AdapterType", CimString, false, false, true},
                             {L"AdapterTypeID", CimUint16, false, false, true},
                             {L"Description", CimString, false, false, true},
                             {L"DeviceID", CimString, false, true, true},
                             {L"GUID", CimString, false, false, true},
                             {L"Index", CimUint32, false, false, true},
                             {L"InterfaceIndex", CimUint32, false, false, true},
                             {L"MACAddress", CimString, false, false, true},
                             {L"Name", CimString, false, false, true},
                             {L"NetConnectionID", CimString},
                             {L"NetConnectionStatus", CimUint16, false, false, true},
                             {L"PhysicalAdapter", CimBoolean, false, false, true},
                             {L"Speed", CimUint64, false, false, true},
                         },
                         {}}),
    };
    return Find(classes, name);
}

std::shared_ptr<const TSimClassDef> SimNetAdapterClass(const std::wstring& name) {
    static const auto cls = std::make_shared<const TSimClassDef>(
        TSimClassDef{L"MSFT_NetAdapter",
                     L"CIM_NetworkPort",
                     {
                         {L"ConnectorPresent", CimBoolean, false, false, true},
                         {L"DeviceID", CimString, false, true, true},
                         {L"HardwareInterface", CimBoolean, false, false, true},
                         {L"InterfaceDescription", CimString, false, false, true},
                         {L"InterfaceGuid", CimString, false, false, true},
                         {L"InterfaceIndex", CimUint32, false, false, true},
                         {L"MediaConnectState", CimUint32, false, false, true},
                         {L"Name", CimString, false, false, true},
                         {L"NdisPhysicalMedium", CimUint32, false, false, true},
                         {L"Virtual", CimBoolean, false, false, true},
                     },
                     {}});
    return SameText(name, cls->Name) ? cls : nullptr;
}

std::shared_ptr<const TSimClassDef> SimMediaEventClass(const std::wstring& name) {
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
    return Find(classes, name);
}

std::shared_ptr<const TSimClassDef> SimParameterClass(std::vector<TSimPropertyDef> properties) {
    return std::make_shared<const TSimClassDef>(
        TSimClassDef{L"__PARAMETERS", L"", std::move(properties), {}});
}

std::shared_ptr<const TSimClassDef> SimOutParameterClass() {
    static const auto out = SimParameterClass({{L"ReturnValue", CimUint32}});
    return out;
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
    if (folded.empty() || SameText(folded, L"root\\cimv2")) return L"root\\cimv2";
    // The events namespace connects; it has none of the adapter classes.
    if (SameText(folded, L"root\\wmi")) return L"root\\WMI";
    if (SameText(folded, L"root\\StandardCimv2")) return L"root\\StandardCimv2";
    return {};
}
