#include "sim/SimRepository.h"

#include "sim/SimDispatch.h"

namespace {
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

TSimAdapter DefaultAdapter(int index) {
    TSimAdapter a;
    a.Index = index;
    if (index == 1) {
        a.Description = L"Intel(R) PRO/1000 MT Network Connection";
        a.MACAddress = L"00:0C:29:4F:8E:35";
        a.NetConnectionID = L"本地连接";
        a.IPAddress = {L"192.168.1.20"};
        a.IPSubnet = {L"255.255.255.0"};
        a.DefaultIPGateway = {L"192.168.1.1"};
        a.GatewayCostMetric = {1};
        a.DNSServerSearchOrder = {L"192.168.1.1", L"192.168.1.2"};
    } else {
        a.Description = L"Realtek RTL8139 Family PCI Fast Ethernet NIC";
        a.MACAddress = L"00:E0:4C:68:1A:2B";
        a.NetConnectionID = L"本地连接 2";
        a.Speed = 100000000;
        a.DHCPEnabled = true;
        a.IPAddress = {L"192.168.8.100"};
        a.IPSubnet = {L"255.255.255.0"};
        a.DefaultIPGateway = {L"192.168.8.1"};
        a.GatewayCostMetric = {0};
        a.DHCPServer = L"192.168.8.1";
        a.DHCPLeaseObtained = L"20261201083000.000000+480";
        a.DNSServerSearchOrder = {L"192.168.8.1"};
    }
    return a;
}

// The provider without a test's probe: every default answer.
ISimProbe NoProbe;
} // namespace

ISimProbe& TSimRepository::Probe() const {
    return FProbe ? *FProbe : NoProbe;
}

void TSimRepository::SetProbe(ISimProbe* probe) {
    FProbe = probe;
}

void TSimRepository::SetDefaultAdapters() {
    Adapters = {DefaultAdapter(1), DefaultAdapter(8)};
}

TSimAdapter* TSimRepository::FindAdapter(int index) {
    for (TSimAdapter& a : Adapters)
        if (a.Index == index) return &a;
    return nullptr;
}

std::shared_ptr<const TSimClassDef> TSimRepository::FindClass(const std::wstring& nameSpace,
                                                              const std::wstring& name) const {
    if (nameSpace != L"root\\cimv2") return nullptr;
    if (auto cls = SimAdapterClass(name)) return cls;
    return Probe().FindClass(name);
}

std::vector<std::vector<ScopedVariant>> TSimRepository::Instances(const TSimClassDef& cls) const {
    if (SimAdapterClass(cls.Name).get() != &cls) return Probe().Instances(cls);
    std::vector<std::vector<ScopedVariant>> instances;
    for (const TSimAdapter& adapter : Adapters) {
        std::vector<ScopedVariant> values;
        for (const TSimPropertyDef& p : cls.Properties)
            values.push_back(Value(p.Name, adapter));
        instances.push_back(std::move(values));
    }
    return instances;
}

void TSimRepository::RaiseMediaEvent(const std::wstring& className,
                                     const std::wstring& instanceName) {
    std::lock_guard guard(EventLock);
    std::erase_if(EventQueues, [](const auto& q) { return q.expired(); });
    for (const std::weak_ptr<TSimEventQueue>& weak : EventQueues) {
        std::shared_ptr<TSimEventQueue> queue = weak.lock();
        if (!queue || queue->ClassName != className) continue;
        std::lock_guard queued(queue->Lock);
        queue->InstanceNames.push_back(instanceName);
        SetEvent(queue->Ready.Get());
    }
}
