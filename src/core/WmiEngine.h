#pragma once
// Applies an IP profile to every IP-enabled adapter through WMI's adapter configuration
// methods. Codes: 0 success, a method's non-zero answer, or -1 when a call raised.
#include <windows.h>
#include <oaidl.h>

#include <string>

// Reads the profile ("A" or "B") from Config.ini and applies it: with netsh when NET/Method is
// "B", otherwise through WMI. connectionName is the adapter netsh is told to change.
int ApplyProfile(const std::wstring& profile, const std::wstring& connectionName);
// An empty address or "DHCP" turns DHCP on; an empty mask means 255.255.255.0; an empty
// gateway leaves the adapters' gateways as they are.
int WmiSetAddress(const std::wstring& address, const std::wstring& gateway,
                  const std::wstring& mask);
// No server at all returns the adapters to DNS servers obtained automatically.
int WmiSetDns(const std::wstring& preferred, const std::wstring& alternate);
// A method's answer as a code: the number it holds, -1 when it holds none (empty, null or
// not a number).
int SwitchCode(const VARIANT& answer);
