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

// The addresses as the class lists them: IPv4 first, then the IPv6 one; none while the cable is
// out, as Windows shows a disconnected adapter, whatever is set for the next connect.
ScopedVariant Listed(const TSimAdapter& a, const std::vector<std::wstring>& ipv4,
                     const std::wstring& ipv6) {
    if (!a.MediaConnected) return SimNull();
    std::vector<std::wstring> listed = ipv4;
    if (!ipv6.empty()) listed.push_back(ipv6);
    return StringArray(listed);
}

ScopedVariant Value(const std::wstring& name, const TSimAdapter& a) {
    if (name == L"DefaultIPGateway") return Listed(a, a.DefaultIPGateway, a.IPv6Router);
    if (name == L"Description" || name == L"Name") return Text(a.Description);
    if (name == L"DHCPEnabled") return ScopedVariant(a.DHCPEnabled);
    if (name == L"DHCPLeaseObtained") return Text(a.DHCPLeaseObtained);
    if (name == L"DHCPServer") return Text(a.DHCPServer);
    if (name == L"DNSServerSearchOrder") return StringArray(a.DNSServerSearchOrder);
    if (name == L"GatewayCostMetric") return IntegerArray(a.GatewayCostMetric);
    if (name == L"Index") return ScopedVariant(a.Index);
    if (name == L"InterfaceIndex") return ScopedVariant(a.InterfaceIndex);
    if (name == L"IPAddress") return Listed(a, a.IPAddress, a.IPv6Address);
    if (name == L"IPEnabled") return ScopedVariant(a.IPEnabled);
    // An IPv6 entry's "mask" is its prefix length.
    if (name == L"IPSubnet") return Listed(a, a.IPSubnet, a.IPv6Address.empty() ? L"" : L"64");
    if (name == L"SettingID" || name == L"GUID") return Text(a.Guid);
    if (name == L"MACAddress") return Text(a.MACAddress);
    if (name == L"AdapterType") return Text(a.AdapterType);
    // What Windows 7 can tell: 0 for "Ethernet 802.3" (Wi-Fi included), and physical or not.
    if (name == L"AdapterTypeID") return ScopedVariant(a.AdapterType == L"Ethernet 802.3" ? 0 : 9);
    if (name == L"PhysicalAdapter") return ScopedVariant(a.HardwareInterface && !a.Virtual);
    if (name == L"DeviceID") return ScopedVariant(std::to_wstring(a.Index));
    if (name == L"NetConnectionID") return Text(a.NetConnectionID);
    // 2 connected, 7 media disconnected.
    if (name == L"NetConnectionStatus") return ScopedVariant(a.MediaConnected ? 2 : 7);
    // WMI hands 64-bit integers to automation as text.
    if (name == L"Speed") return ScopedVariant(std::to_wstring(a.Speed));
    return SimNull();
}

// MSFT_NetAdapter names things its own way: Name is the connection name.
ScopedVariant NetAdapterValue(const std::wstring& name, const TSimAdapter& a) {
    if (name == L"ConnectorPresent") return ScopedVariant(a.HardwareInterface);
    if (name == L"DeviceID" || name == L"InterfaceGuid") return ScopedVariant(a.Guid);
    if (name == L"HardwareInterface") return ScopedVariant(a.HardwareInterface);
    if (name == L"InterfaceDescription") return Text(a.Description);
    if (name == L"InterfaceIndex") return ScopedVariant(a.InterfaceIndex);
    // 1 connected, 2 disconnected.
    if (name == L"MediaConnectState") return ScopedVariant(a.MediaConnected ? 1 : 2);
    if (name == L"Name") return Text(a.NetConnectionID);
    if (name == L"NdisPhysicalMedium") return ScopedVariant(a.NdisPhysicalMedium);
    if (name == L"Virtual") return ScopedVariant(a.Virtual);
    return SimNull();
}

TSimAdapter Adapter(int index, int interfaceIndex, std::wstring description, std::wstring mac,
                    std::wstring connection) {
    TSimAdapter a;
    a.Index = index;
    a.InterfaceIndex = interfaceIndex;
    wchar_t guid[40];
    swprintf(guid, 40, L"{4D36E972-E325-11CE-BFC1-08002BE1%04X}", index & 0xFFFF);
    a.Guid = guid;
    a.Description = std::move(description);
    a.MACAddress = std::move(mac);
    a.NetConnectionID = std::move(connection);
    return a;
}

TSimAdapter Static(TSimAdapter a, std::wstring address, std::wstring gateway,
                   std::vector<std::wstring> dns) {
    a.IPAddress = {std::move(address)};
    a.IPSubnet = {L"255.255.255.0"};
    if (!gateway.empty()) {
        a.DefaultIPGateway = {std::move(gateway)};
        a.GatewayCostMetric = {1};
    }
    a.DNSServerSearchOrder = std::move(dns);
    return a;
}

// Leased from the DHCP server of its own network, 192.168.<Index>.1.
TSimAdapter Leased(TSimAdapter a) {
    const std::wstring net = L"192.168." + std::to_wstring(a.Index) + L".";
    a.DHCPEnabled = true;
    a.IPAddress = {net + L"100"};
    a.IPSubnet = {L"255.255.255.0"};
    a.DefaultIPGateway = {net + L"1"};
    a.GatewayCostMetric = {0};
    a.DHCPServer = net + L"1";
    a.DHCPLeaseObtained = L"20261201083000.000000+480";
    a.DNSServerSearchOrder = {net + L"1"};
    return a;
}
} // namespace

std::vector<TSimAdapter> SimDefaultAdapters() {
    // The wired adapter, static on the internal network.
    TSimAdapter wired = Static(
        Adapter(1, 7, L"Intel(R) PRO/1000 MT Network Connection", L"00:0C:29:4F:8E:35", L"以太网"),
        L"192.168.1.20", L"192.168.1.1", {L"192.168.1.1", L"192.168.1.2"});
    // Its network has an IPv6 router, as home and ISP routers commonly do.
    wired.IPv6Address = L"fe80::20c:29ff:fe4f:8e35";
    wired.IPv6Router = L"fe80::1";
    // A second, USB, Ethernet adapter on a DHCP network.
    TSimAdapter usb = Leased(
        Adapter(8, 11, L"Realtek USB GbE Family Controller", L"00:E0:4C:68:1A:2B", L"以太网 2"));
    usb.Speed = 100000000;
    // Wi-Fi reports AdapterType "Ethernet 802.3" like the wired ones; only MSFT_NetAdapter's
    // medium tells it apart.
    TSimAdapter wifi =
        Leased(Adapter(12, 15, L"Intel(R) Wi-Fi 6 AX201 160MHz", L"DC:21:48:7A:3C:90", L"WLAN"));
    wifi.NdisPhysicalMedium = 9;
    // The virtual switch of WSL: IP-enabled, static, and no hardware.
    TSimAdapter wsl = Static(Adapter(17, 33, L"Hyper-V Virtual Ethernet Adapter",
                                     L"00:15:5D:E2:41:07", L"vEthernet (WSL)"),
                             L"172.20.48.1", L"", {});
    wsl.IPSubnet = {L"255.255.240.0"};
    wsl.HardwareInterface = false;
    wsl.Virtual = true;
    wsl.Speed = 10000000000ull;
    // A VPN adapter while its tunnel is down: not connected, so no IP.
    TSimAdapter vpn = Adapter(21, 42, L"TAP-Windows Adapter V9", L"00:FF:6B:3A:52:C4", L"以太网 3");
    vpn.IPEnabled = false;
    vpn.HardwareInterface = false;
    vpn.MediaConnected = false;
    vpn.Speed = 100000000;
    return {wired, usb, wifi, wsl, vpn};
}

namespace {
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
    Adapters = SimDefaultAdapters();
}

TSimAdapter* TSimRepository::FindAdapter(int index) {
    for (TSimAdapter& a : Adapters)
        if (a.Index == index) return &a;
    return nullptr;
}

std::shared_ptr<const TSimClassDef> TSimRepository::FindClass(const std::wstring& nameSpace,
                                                              const std::wstring& name) const {
    if (nameSpace == L"root\\StandardCimv2") return SimNetAdapterClass(name);
    if (nameSpace != L"root\\cimv2") return nullptr;
    if (auto cls = SimAdapterClass(name)) return cls;
    return Probe().FindClass(name);
}

std::vector<std::vector<ScopedVariant>> TSimRepository::Instances(const TSimClassDef& cls) const {
    const bool netAdapter = SimNetAdapterClass(cls.Name).get() == &cls;
    if (!netAdapter && SimAdapterClass(cls.Name).get() != &cls) return Probe().Instances(cls);
    std::vector<std::vector<ScopedVariant>> instances;
    for (const TSimAdapter& adapter : Adapters) {
        std::vector<ScopedVariant> values;
        for (const TSimPropertyDef& p : cls.Properties)
            values.push_back(netAdapter ? NetAdapterValue(p.Name, adapter)
                                        : Value(p.Name, adapter));
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
