#pragma once
// The settings store: Config.ini beside the executable, and the start-with-Windows value.
#include <windows.h>

#include <string>
#include <vector>

#include "framework/IniFile.h"

// The keys of Config.ini, each read and written here alone.

// NET/NET: the profile applied last, "A" or "B"; empty before the first switch (or whatever
// else a damaged file holds, which names no profile).
std::wstring ActiveProfile();
void WriteActiveProfile(const std::wstring& profile);
// NET/AutoSwitch "1": "网络切换时IP自动切换" ticked.
bool AutoSwitchOn();
// The options of the configuration dialog, NET/AutoRun and NET/AutoSwitch, into that store.
void WriteOptions(TCustomIniFile& ini, bool autoRun, bool autoSwitch);
// A profile's Name; fallback when it has none.
std::wstring ProfileName(const std::wstring& section, const std::wstring& fallback = {});

// One IP profile, section "A" (内网) or "B" (外网) of Config.ini, as the user typed it.
struct TIpProfile {
    std::wstring Name;
    bool DHCPEnabled = false;
    std::wstring IPAddress, IPSubnet, DefaultIPGateway;
    bool DNSEnabled = false; // DNS servers obtained automatically
    std::wstring DNSA, DNSB;

    // DHCP also when the address is empty or "DHCP".
    bool UsesDhcp() const { return DHCPEnabled || IPAddress.empty() || IPAddress == L"DHCP"; }
    // The servers given, preferred first, without the empty ones.
    std::vector<std::wstring> DnsServers() const;
};

// The profile of that section; missing keys read as empty (not DHCP, DNS given).
TIpProfile ReadProfile(const std::wstring& section);
// As the profile editor saves: the address keys only for a static address and the server keys
// only for given servers, so the other choice keeps its values for the next time. Name is not
// written.
void WriteProfile(const std::wstring& section, const TIpProfile& profile);
// The same into another store.
void WriteProfile(TCustomIniFile& ini, const std::wstring& section, const TIpProfile& profile);
// Every key of Config.ini the program reads.
struct TSettingsKey {
    const wchar_t* Section;
    const wchar_t* Key;
};
const std::vector<TSettingsKey>& SettingsKeys();
// Writes into another store every key of Config.ini the program reads, as the settings store
// holds it; a key that is not set is not written, so it answers the same default there.
void CopySettingsTo(TCustomIniFile& into);

// What automatic switching learned of a profile's network after a switch the network answered:
// LearnedGatewayMAC, its gateway's hardware address ("00-1A-2B-3C-4D-5E"), and
// LearnedDHCPServer, the server of a DHCP profile's lease. A hardware address that is none (a
// file damaged or edited by hand) reads as not learned; the server is read as it stands.
struct TKnownNetwork {
    std::wstring GatewayMac, DhcpServer;
    bool Empty() const { return GatewayMac.empty() && DhcpServer.empty(); }
};
TKnownNetwork ReadKnownNetwork(const std::wstring& section);
// Writes what is given; an empty value leaves what was learned before.
void WriteKnownNetwork(const std::wstring& section, const TKnownNetwork& network);
// A hardware address as the network answers it: six pairs of hexadecimal digits joined by
// dashes (or colons), answered in upper case with dashes; empty for anything else.
std::wstring HardwareAddressText(const std::wstring& text);

// The adapter a switch is limited to, as Config.ini remembers it: NET/Adapter its Index (as
// earlier versions wrote it), NET/AdapterGuid its interface GUID (SettingID) and
// NET/AdapterName its description, as the user knew it. All empty: none named.
struct TAdapterChoice {
    std::wstring Index, Guid, Description;
    bool Named() const { return !Index.empty() || !Guid.empty(); }
};
// How a switch is made: with netsh (NET/Method "B", compared with case) or WMI, and on the
// adapter named, or on every physical wired adapter when none is.
struct TSwitchOptions {
    bool UseNetsh = false;
    TAdapterChoice Adapter;
};
TSwitchOptions ReadSwitchOptions();
// Remembers the adapter the switch is limited to (all empty: none) in that store.
void WriteAdapterChoice(TCustomIniFile& ini, const TAdapterChoice& adapter);

// The one settings object of the process. Opens the store on first use if OpenSettings has
// not run yet, so a read never meets a missing object.
TIniFile& ConfigIni();
// Binds the store to Config.ini in the executable's folder. The file need not exist: reads
// then answer their defaults and the first write creates it.
void OpenSettings();
// Binds the store to another file (tests, and programs that keep it elsewhere).
void OpenSettingsAt(const std::wstring& path);
// The executable's folder, with its trailing separator.
std::wstring ExecutableFolder();

// A Run key, whose values Windows starts at logon: the installed tray's under HKLM, and the
// values earlier versions wrote.
struct TRunKey {
    HKEY Root;
    std::wstring Path; // relative to Root, without a leading separator
};
TRunKey MachineRunKey();
// The current user's.
TRunKey UserRunKey();
// The command Windows runs: the path in double quotes when it holds a blank, so that
// "C:\Program Files\x.exe" can never start C:\Program.exe instead.
std::wstring AutoRunCommand(const std::wstring& exePath);
// Sets (on) or removes the value; a value already so is not written. Raises when the key
// is missing (on) or cannot be written.
void SetAutoRunValue(bool on, const TRunKey& where, const std::wstring& valueName,
                     const std::wstring& command);
