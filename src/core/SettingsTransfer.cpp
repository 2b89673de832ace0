#include "core/SettingsTransfer.h"

#include <algorithm>
#include <cwctype>
#include <string_view>

#include "core/ProfileCheck.h"
#include "core/Settings.h"
#include "framework/CommandLine.h"

namespace {
const std::wstring_view kSettingOption = L"--setting=";
// A name (of a profile, of an adapter) a person would type; the dialog's fields hold less.
constexpr size_t kMaxTextLength = 256;

bool OneOf(const std::wstring& value, std::initializer_list<const wchar_t*> allowed) {
    return std::any_of(allowed.begin(), allowed.end(),
                       [&](const wchar_t* a) { return value == a; });
}

bool PlainText(const std::wstring& value) {
    return value.size() <= kMaxTextLength &&
           std::none_of(value.begin(), value.end(), [](wchar_t c) { return c < 0x20; });
}

bool AddressOrEmpty(const std::wstring& value) {
    return value.empty() || ParseIPv4(value).has_value();
}

bool InterfaceGuid(const std::wstring& value) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (value.size() != 38 || value.front() != L'{' || value.back() != L'}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? value[i] != L'-' : !std::iswxdigit(value[i])) return false;
    }
    return true;
}

// Whether the value has the form its key takes.
bool ValueFits(const std::wstring& key, const std::wstring& value) {
    if (key == L"NET" || key == L"Method") return OneOf(value, {L"", L"A", L"B"});
    if (key == L"AutoRun" || key == L"AutoSwitch" || key == L"DHCPEnabled" || key == L"DNSEnabled")
        return OneOf(value, {L"", L"0", L"1"});
    if (key == L"Adapter")
        return value.size() <= 10 && std::all_of(value.begin(), value.end(),
                                                 [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    if (key == L"AdapterGuid") return value.empty() || InterfaceGuid(value);
    if (key == L"IPAddress") return value == L"DHCP" || AddressOrEmpty(value);
    if (key == L"IPSubnet") return value.empty() || IsSubnetMask(value);
    if (key == L"DefaultIPGateway" || key == L"DNSA" || key == L"DNSB" ||
        key == L"LearnedDHCPServer")
        return AddressOrEmpty(value);
    if (key == L"LearnedGatewayMAC") return value.empty() || !HardwareAddressText(value).empty();
    return PlainText(value); // Name, AdapterName
}

bool KnownKey(const std::wstring& section, const std::wstring& key) {
    const auto& keys = SettingsKeys();
    return std::any_of(keys.begin(), keys.end(),
                       [&](const TSettingsKey& k) { return section == k.Section && key == k.Key; });
}
} // namespace

std::wstring TSettingsRecord::ReadString(const std::wstring& section, const std::wstring& key,
                                         const std::wstring& defaultValue) {
    for (const TValue& v : FValues)
        if (v.Section == section && v.Key == key) return v.Value;
    return defaultValue;
}

void TSettingsRecord::WriteString(const std::wstring& section, const std::wstring& key,
                                  const std::wstring& value) {
    for (TValue& v : FValues)
        if (v.Section == section && v.Key == key) {
            v.Value = value;
            return;
        }
    FValues.push_back({section, key, value});
}

std::wstring SettingsArguments(const TSettingsRecord& settings) {
    std::wstring text = SaveSettingsOption;
    for (const TSettingsRecord::TValue& v : settings.Values())
        text += L" " + QuotedArgument(std::wstring(kSettingOption) + v.Section + L"/" + v.Key +
                                      L"=" + v.Value);
    return text;
}

std::wstring SaveSettingsArguments(const std::wstring& commandLine, TCustomIniFile& into) {
    TSettingsRecord checked;
    const std::vector<std::wstring> args = CommandLineArguments(commandLine);
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.compare(0, kSettingOption.size(), kSettingOption) != 0) continue;
        const std::wstring setting = arg.substr(kSettingOption.size());
        const size_t slash = setting.find(L'/'), equals = setting.find(L'=');
        const std::wstring section = slash < equals ? setting.substr(0, slash) : L"";
        const std::wstring key =
            slash < equals ? setting.substr(slash + 1, equals - slash - 1) : setting;
        const std::wstring value = equals == std::wstring::npos ? L"" : setting.substr(equals + 1);
        if (equals == std::wstring::npos || !KnownKey(section, key))
            return L"“" + setting.substr(0, std::min(equals, kMaxTextLength)) +
                   L"”不是 Tarnwick 的设置。";
        if (!ValueFits(key, value))
            return L"[" + section + L"] " + key + L" 的值“" + value.substr(0, kMaxTextLength) +
                   L"”无效。";
        checked.WriteString(section, key, value);
    }
    for (const TSettingsRecord::TValue& v : checked.Values())
        into.WriteString(v.Section, v.Key, v.Value);
    return {};
}
