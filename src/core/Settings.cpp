#include "core/Settings.h"

#include <cwctype>
#include <memory>
#include <optional>

#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Scoped.h"

namespace {
// No stored value holds this character, so a read with it as default tells a key not set.
const wchar_t kUnset[] = L"\x1";

std::unique_ptr<TIniFile>& Store() {
    static std::unique_ptr<TIniFile> store;
    return store;
}
} // namespace

TIniFile& ConfigIni() {
    if (!Store()) OpenSettings();
    return *Store();
}

std::wstring ExecutableFolder() {
    std::wstring path = Application().ExeName();
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

void OpenSettings() {
    OpenSettingsAt(ExecutableFolder() + L"Config.ini");
}

void OpenSettingsAt(const std::wstring& path) {
    Store() = std::make_unique<TIniFile>(path);
}

std::wstring ActiveProfile() {
    return ConfigIni().ReadString(L"NET", L"NET", L"");
}

void WriteActiveProfile(const std::wstring& profile) {
    ConfigIni().WriteString(L"NET", L"NET", profile);
}

bool AutoSwitchOn() {
    return ConfigIni().ReadString(L"NET", L"AutoSwitch", L"0") == L"1";
}

void WriteOptions(TCustomIniFile& ini, bool autoRun, bool autoSwitch) {
    ini.WriteString(L"NET", L"AutoRun", autoRun ? L"1" : L"0");
    ini.WriteString(L"NET", L"AutoSwitch", autoSwitch ? L"1" : L"0");
}

std::wstring ProfileName(const std::wstring& section, const std::wstring& fallback) {
    return ConfigIni().ReadString(section, L"Name", fallback);
}

std::vector<std::wstring> TIpProfile::DnsServers() const {
    std::vector<std::wstring> servers;
    for (const std::wstring* server : {&DNSA, &DNSB})
        if (!server->empty()) servers.push_back(*server);
    return servers;
}

TIpProfile ReadProfile(const std::wstring& section) {
    TIniFile& ini = ConfigIni();
    TIpProfile p;
    p.Name = ProfileName(section);
    p.DHCPEnabled = ini.ReadString(section, L"DHCPEnabled", L"0") == L"1";
    p.IPAddress = ini.ReadString(section, L"IPAddress", L"");
    p.IPSubnet = ini.ReadString(section, L"IPSubnet", L"");
    p.DefaultIPGateway = ini.ReadString(section, L"DefaultIPGateway", L"");
    p.DNSEnabled = ini.ReadString(section, L"DNSEnabled", L"") == L"1";
    p.DNSA = ini.ReadString(section, L"DNSA", L"");
    p.DNSB = ini.ReadString(section, L"DNSB", L"");
    return p;
}

void WriteProfile(const std::wstring& section, const TIpProfile& p) {
    WriteProfile(ConfigIni(), section, p);
}

void WriteProfile(TCustomIniFile& ini, const std::wstring& section, const TIpProfile& p) {
    ini.WriteString(section, L"DHCPEnabled", p.DHCPEnabled ? L"1" : L"0");
    if (!p.DHCPEnabled) {
        ini.WriteString(section, L"IPAddress", p.IPAddress);
        ini.WriteString(section, L"IPSubnet", p.IPSubnet);
        ini.WriteString(section, L"DefaultIPGateway", p.DefaultIPGateway);
    }
    ini.WriteString(section, L"DNSEnabled", p.DNSEnabled ? L"1" : L"0");
    if (!p.DNSEnabled) {
        ini.WriteString(section, L"DNSA", p.DNSA);
        ini.WriteString(section, L"DNSB", p.DNSB);
    }
}

std::wstring HardwareAddressText(const std::wstring& text) {
    if (text.size() != 17) return {};
    std::wstring plain;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (i % 3 == 2) {
            if (c != L'-' && c != L':') return {};
            plain += L'-';
        } else if (std::iswxdigit(c) && c < 0x80) {
            plain += static_cast<wchar_t>(std::towupper(c));
        } else {
            return {};
        }
    }
    return plain;
}

TKnownNetwork ReadKnownNetwork(const std::wstring& section) {
    TIniFile& ini = ConfigIni();
    return {HardwareAddressText(ini.ReadString(section, L"LearnedGatewayMAC", L"")),
            ini.ReadString(section, L"LearnedDHCPServer", L"")};
}

void WriteKnownNetwork(const std::wstring& section, const TKnownNetwork& network) {
    TIniFile& ini = ConfigIni();
    if (!network.GatewayMac.empty())
        ini.WriteString(section, L"LearnedGatewayMAC", network.GatewayMac);
    if (!network.DhcpServer.empty())
        ini.WriteString(section, L"LearnedDHCPServer", network.DhcpServer);
}

const std::vector<TSettingsKey>& SettingsKeys() {
    static const std::vector<TSettingsKey> keys = [] {
        std::vector<TSettingsKey> all;
        for (const wchar_t* key : {L"NET", L"AutoRun", L"AutoSwitch", L"Adapter", L"AdapterGuid",
                                   L"AdapterName", L"Method"})
            all.push_back({L"NET", key});
        for (const wchar_t* section : {L"A", L"B"})
            for (const wchar_t* key :
                 {L"Name", L"DHCPEnabled", L"IPAddress", L"IPSubnet", L"DefaultIPGateway",
                  L"DNSEnabled", L"DNSA", L"DNSB", L"LearnedGatewayMAC", L"LearnedDHCPServer"})
                all.push_back({section, key});
        return all;
    }();
    return keys;
}

void CopySettingsTo(TCustomIniFile& into) {
    const std::wstring unset = kUnset;
    for (const TSettingsKey& key : SettingsKeys()) {
        const std::wstring value = ConfigIni().ReadString(key.Section, key.Key, unset);
        if (value != unset) into.WriteString(key.Section, key.Key, value);
    }
}

TSwitchOptions ReadSwitchOptions() {
    TIniFile& ini = ConfigIni();
    return {ini.ReadString(L"NET", L"Method", L"") == L"B",
            {ini.ReadString(L"NET", L"Adapter", L""), ini.ReadString(L"NET", L"AdapterGuid", L""),
             ini.ReadString(L"NET", L"AdapterName", L"")}};
}

void WriteAdapterChoice(TCustomIniFile& ini, const TAdapterChoice& adapter) {
    ini.WriteString(L"NET", L"Adapter", adapter.Index);
    // The companions only where they say something: an empty one is written only to clear
    // what is there.
    const std::wstring unset = kUnset;
    for (const auto& [key, value] : {std::pair{L"AdapterGuid", &adapter.Guid},
                                     std::pair{L"AdapterName", &adapter.Description}})
        if (!value->empty() || ini.ReadString(L"NET", key, unset) != unset)
            ini.WriteString(L"NET", key, *value);
}

TRunKey MachineRunKey() {
    return {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"};
}

TRunKey UserRunKey() {
    return {HKEY_CURRENT_USER, MachineRunKey().Path};
}

std::wstring AutoRunCommand(const std::wstring& exePath) {
    if (exePath.find(L' ') == std::wstring::npos) return exePath;
    return L"\"" + exePath + L"\"";
}

namespace {
// The value as it stands; nullopt when it is missing or cannot be read.
std::optional<std::wstring> ReadRunValue(HKEY key, const std::wstring& valueName) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_SZ) return std::wstring(1, L'\0'); // present, never equal to a command
    data.resize(size / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0')
        data.pop_back();
    return data;
}
} // namespace

void SetAutoRunValue(bool on, const TRunKey& where, const std::wstring& valueName,
                     const std::wstring& command) {
    // The key is never created: a system without it, or a user without rights on it, gets
    // the error instead of a key that Windows would not look at. It is read first and written
    // only when it must change: the copy Windows starts at logon is not elevated, and may
    // read the key but not write it.
    const std::wstring failed = L"Failed to set data for '" + valueName + L"'";
    ScopedRegKey key;
    // The 64-bit view, which Windows reads at logon, also from a 32-bit build.
    if (RegOpenKeyExW(where.Root, where.Path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      key.Receive()) != ERROR_SUCCESS) {
        if (on) throw Exception(failed);
        return; // nothing there to remove
    }
    const std::optional<std::wstring> current = ReadRunValue(key.Get(), valueName);
    if (on ? current == command : !current) return;
    ScopedRegKey writable;
    if (RegOpenKeyExW(where.Root, where.Path.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                      writable.Receive()) != ERROR_SUCCESS)
        throw Exception(failed);
    if (!on) {
        // A value left behind would keep starting the program while Config.ini says it does not.
        if (RegDeleteValueW(writable.Get(), valueName.c_str()) != ERROR_SUCCESS)
            throw Exception(failed);
        return;
    }
    const auto* data = reinterpret_cast<const BYTE*>(command.c_str());
    const DWORD size = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(writable.Get(), valueName.c_str(), 0, REG_SZ, data, size) != ERROR_SUCCESS)
        throw Exception(failed);
}
