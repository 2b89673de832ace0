#pragma once
// Applies an IP profile to the IP-enabled adapters through WMI's adapter configuration methods:
// to every one, or to the one NET/Adapter names. Codes: 0 success, 1 success that takes effect
// after a restart, a method's other answer, or -1 when a call raised.
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>

#include "core/SwitchResult.h"

// Reads the profile ("A" or "B") from Config.ini and applies it: with netsh when NET/Method is
// "B", otherwise through WMI. connectionName is the adapter netsh is told to change, unless
// NET/Adapter names another. Errors that keep the engine from reaching WMI at all are raised.
TSwitchResult SwitchProfile(const std::wstring& profile, const std::wstring& connectionName);
// The same, as its code alone.
int ApplyProfile(const std::wstring& profile, const std::wstring& connectionName);
// An empty address or "DHCP" turns DHCP on; an empty mask means 255.255.255.0; an empty
// gateway leaves the adapters' gateways as they are. adapter: an Index, or empty for all.
TSwitchResult WmiSetAddress(const std::wstring& address, const std::wstring& gateway,
                            const std::wstring& mask, const std::wstring& adapter = {});
// No server at all returns the adapters to DNS servers obtained automatically.
TSwitchResult WmiSetDns(const std::wstring& preferred, const std::wstring& alternate,
                        const std::wstring& adapter = {});
// A method's answer as a code: the number it holds, -1 when it holds none (empty, null or
// not a number).
int SwitchCode(const VARIANT& answer);

// Whether this process runs elevated (its token's TokenElevation). A refusal of access is only
// blamed on a missing elevation when it is missing.
bool ProcessElevated();
// Tests answer for the token; an empty function asks the token again.
void SetProcessElevatedFunction(std::function<bool()> f);
// The cause shown for a refusal of access while the process is not elevated.
extern const wchar_t NotElevatedCause[];
