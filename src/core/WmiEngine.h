#pragma once
// Applies an IP profile to one adapter through WMI's adapter configuration methods, and tells
// the causes of their answers in the user's words. It reads no settings: the switch hands it
// the profile and the adapter.
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/Settings.h"
#include "core/SwitchResult.h"
#include "core/WmiAdapters.h"

// The adapter methods' answer for a caller without the rights to change an adapter.
constexpr uint32_t AccessDenied = 91;

// The address steps, then the DNS step, on one adapter. The address: EnableStatic with the
// address and mask, then SetGateways with the profile's gateway, or with the adapter's own
// address to clear its gateways when the profile has none; for DHCP, a static adapter's
// gateways are cleared that way first, since EnableDHCP keeps them. The DNS servers: the ones
// given, or not supplied for servers obtained automatically. Answers the adapter's first
// failing answer (0, 1 and EnableStatic's 81 are none: whether the profile is in place is for
// the read-back to say), or 1 when one step takes effect after a restart.
TSwitchResult WmiSwitchAdapter(IDispatch* services, const TSwitchTarget& adapter,
                               const TIpProfile& profile);

// A method's answer as a uint32: the number it holds (WMI hands a uint32 to automation as
// VT_I4, so its bits are read as unsigned); none when it holds none (empty, null or no number).
std::optional<uint32_t> AnswerCode(const VARIANT& answer);
// The cause of an adapter method's answer, in Chinese for the documented ones; the method's
// own description (its Values qualifier) or the number for any other.
std::wstring AnswerCause(IDispatch* services, IDispatch* adapter, const wchar_t* method,
                         uint32_t code);
// The Chinese cause of a documented answer (64-100, 2147786788), or empty.
std::wstring DocumentedAnswerCause(uint32_t code);
// The cause of a call that raised instead of answering.
std::wstring RaisedCause(const std::exception& e);

// Whether this process runs elevated (its token's TokenElevation). A refusal of access is only
// blamed on a missing elevation when it is missing.
bool ProcessElevated();
// Whether that process's token is elevated, asked of the token itself; false when it cannot be
// read.
bool TokenElevated(HANDLE process);
// Tests answer for the token; an empty function asks the token again. Answers the function
// replaced.
std::function<bool()> SetProcessElevatedFunction(std::function<bool()> f);
// The cause shown for a refusal of access while the process is not elevated.
extern const wchar_t NotElevatedCause[];
