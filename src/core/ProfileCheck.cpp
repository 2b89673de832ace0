#include "core/ProfileCheck.h"

const wchar_t DefaultMask[] = L"255.255.255.0";

std::optional<uint32_t> ParseIPv4(std::wstring_view text) {
    uint32_t address = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (at >= text.size() || text[at++] != L'.')) return std::nullopt;
        const size_t begin = at;
        unsigned number = 0;
        while (at < text.size() && at - begin < 3 && text[at] >= L'0' && text[at] <= L'9')
            number = number * 10 + static_cast<unsigned>(text[at++] - L'0');
        const size_t digits = at - begin;
        if (digits == 0 || number > 255 || (digits > 1 && text[begin] == L'0')) return std::nullopt;
        address = address << 8 | number;
    }
    if (at != text.size()) return std::nullopt;
    return address;
}

bool IsSubnetMask(std::wstring_view text) {
    const std::optional<uint32_t> mask = ParseIPv4(text);
    if (!mask || *mask == 0) return false;
    const uint32_t inverted = ~*mask;
    return (inverted & (inverted + 1)) == 0; // ones, then zeros
}

std::vector<std::wstring> IPv4Entries(const std::vector<std::wstring>& items) {
    std::vector<std::wstring> ipv4;
    for (const std::wstring& item : items)
        if (ParseIPv4(item)) ipv4.push_back(item);
    return ipv4;
}

std::wstring AppliedMask(const TIpProfile& profile) {
    return profile.IPSubnet.empty() ? std::wstring(DefaultMask) : profile.IPSubnet;
}

namespace {
std::wstring Fault(const wchar_t* key, const std::wstring& value, const wchar_t* what) {
    return std::wstring(key) + L" 的值“" + value + L"”不是" + what;
}
} // namespace

std::wstring ProfileValueFault(const TIpProfile& profile, bool useNetsh) {
    const auto address = [](const wchar_t* key, const std::wstring& value, bool mayBeEmpty) {
        return (mayBeEmpty && value.empty()) || ParseIPv4(value) ? std::wstring()
                                                                 : Fault(key, value, L" IPv4 地址");
    };
    std::wstring fault;
    const auto check = [&fault](std::wstring found) {
        if (fault.empty()) fault = std::move(found);
    };
    if (!profile.UsesDhcp()) {
        check(address(L"IPAddress", profile.IPAddress, false));
        if (!profile.IPSubnet.empty() && !IsSubnetMask(profile.IPSubnet))
            check(Fault(L"IPSubnet", profile.IPSubnet, L"有效的子网掩码"));
        check(address(L"DefaultIPGateway", profile.DefaultIPGateway, true));
    }
    if (useNetsh ? !profile.UsesDhcp() : !profile.DNSEnabled) {
        check(address(L"DNSA", profile.DNSA, true));
        check(address(L"DNSB", profile.DNSB, true));
    }
    return fault;
}
