#pragma once
// What a profile may hand to an adapter or a command line: IPv4 addresses in their one plain
// form. Config.ini can be edited by hand, and the dialog takes what is typed; the switch checks.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Settings.h"

// The address of four decimal numbers 0-255 joined by dots and nothing else: no blanks, no
// leading zeros (which some parsers read as octal), no full-width digits, no fifth part.
std::optional<uint32_t> ParseIPv4(std::wstring_view text);
// An IPv4 address whose ones all come before its zeros, not all zeros.
bool IsSubnetMask(std::wstring_view text);
// The IPv4 entries of a list an adapter shows, in order: the IPv6 addresses and routers Windows
// lists after them are the network's, not a profile's.
std::vector<std::wstring> IPv4Entries(const std::vector<std::wstring>& items);

// The mask a static profile is applied with when it gives none, whichever engine applies it,
// and the one the profile editor fills in.
extern const wchar_t DefaultMask[];
// The profile's mask, or DefaultMask when it has none.
std::wstring AppliedMask(const TIpProfile& profile);

// Why the values the engine is to apply cannot be applied, naming the key and the value, e.g.
// "DNSB 的值“8.8.8.8 validate=no”不是 IPv4 地址"; empty when every one can. An empty mask,
// gateway or DNS server is allowed, as the profile may have none; the values a choice leaves
// unused (the address of a DHCP profile) are not looked at. useNetsh: netsh applies the DNS
// servers of a static profile whatever DNSEnabled says.
std::wstring ProfileValueFault(const TIpProfile& profile, bool useNetsh);
