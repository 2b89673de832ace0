// The settings a dialog that is not elevated hands to the elevated copy that saves them: every
// value comes back whole, and anything that is not one of the program's keys with a value of
// its form saves nothing.
#include <gtest/gtest.h>

#include "core/SettingsTransfer.h"
#include "framework/CommandLine.h"
#include "support/MemoryIni.h"

namespace {

std::wstring CommandLineOf(const TSettingsRecord& settings) {
    return L"\"C:\\Program Files\\Tarnwick\\Tarnwick.exe\" " + SettingsArguments(settings);
}

TEST(SettingsTransfer, EveryValueTheDialogWritesComesBackWhole) {
    TSettingsRecord settings;
    settings.WriteString(L"A", L"Name", L"内网 \"A\" C:\\x\\ =1");
    settings.WriteString(L"A", L"IPAddress", L"10.20.30.41");
    settings.WriteString(L"A", L"IPSubnet", L"255.255.255.0");
    settings.WriteString(L"A", L"DNSB", L"");
    settings.WriteString(L"B", L"DHCPEnabled", L"1");
    settings.WriteString(L"B", L"IPAddress", L"DHCP");
    settings.WriteString(L"NET", L"AutoSwitch", L"1");
    settings.WriteString(L"NET", L"AdapterGuid", L"{4D36E972-E325-11CE-BFC1-08002BE10318}");
    settings.WriteString(L"NET", L"AutoSwitch", L"0"); // written again: the last value counts
    EXPECT_EQ(CommandLineArguments(CommandLineOf(settings))[1], SaveSettingsOption);

    TMemoryIni into;
    EXPECT_EQ(SaveSettingsArguments(CommandLineOf(settings), into), L"");
    EXPECT_EQ(into.Values.size(), settings.Values().size());
    for (const TSettingsRecord::TValue& v : settings.Values())
        EXPECT_EQ(into.ReadString(v.Section, v.Key, L"?"), v.Value) << v.Section << L"/" << v.Key;
    EXPECT_EQ(into.ReadString(L"NET", L"AutoSwitch", L""), L"0");
}

TEST(SettingsTransfer, AnythingButTheProgramsKeysWithValuesOfTheirFormSavesNothing) {
    const std::wstring good = L"\"--setting=A/IPAddress=10.0.0.2\" ";
    for (const wchar_t* bad : {
             L"--setting=A/IPAddress=010.0.0.1",        // a leading zero, read as octal by some
             L"--setting=A/IPAddress=１０.0.0.1",       // full-width digits
             L"--setting=A/DNSA=8.8.8.8 validate=no",   // more than an address
             L"--setting=A/DefaultIPGateway=1.2.3.4.5", // a fifth part
             L"--setting=A/IPSubnet=255.0.255.0",       // not contiguous
             L"--setting=B/DHCPEnabled=yes",            // a flag is 0 or 1
             L"--setting=NET/NET=C",                    // a profile is A or B
             L"--setting=NET/Adapter=1 2",              // an Index is digits
             L"--setting=NET/AdapterGuid={not-a-guid}", //
             L"--setting=A/Name=a\rb",                  // no line breaks in an INI value
             L"--setting=A/Program=C:\\x.exe",          // no such key
             L"--setting=C/Name=x",                     // no such section
             L"--setting=Name=x",                       // no section
             L"--setting=A/Name",                       // no value
         }) {
        TMemoryIni into;
        const std::wstring cause = SaveSettingsArguments(
            L"Tarnwick.exe --save-settings " + good + QuotedArgument(bad), into);
        EXPECT_NE(cause, L"") << bad;
        EXPECT_TRUE(into.Values.empty()) << bad << L": nothing saved, the good value neither";
    }
    // The cause names the key and the value.
    TMemoryIni into;
    EXPECT_EQ(SaveSettingsArguments(L"x --setting=B/DNSA=8.8.8.8;calc", into),
              L"[B] DNSA 的值“8.8.8.8;calc”无效。");
}

} // namespace
