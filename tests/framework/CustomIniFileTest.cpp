// Numbers read from an INI-style store: what a hand-edited value gives.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/MemoryIni.h"

namespace {

TEST(CustomIniFile, IntegersOutOfRangeOrMalformedGiveTheDefault) {
    TMemoryIni ini;
    const struct {
        const wchar_t* Text;
        int Expected;
    } cases[] = {
        {L"42", 42},
        {L"-2147483648", -2147483647 - 1},
        {L"0x00FF00", 0x00FF00},
        {L"0X1a", 26},
        // A colour with its high bit set reads as the 32-bit value it names.
        {L"0x80000005", static_cast<int>(0x80000005u)},
        {L"2147483648", 7},
        {L"99999999999", 7},
        {L"0x100000000", 7},
        {L"0x-5", 7},
        {L"0x", 7},
        // Found by scripts/fuzz: a second "0x" was taken as part of the number.
        {L"0x0xF0F0", 7},
        {L"0x 1", 7},
        {L"0x1 ", 7},
        {L"12px", 7},
        {L"", 7},
    };
    for (const auto& c : cases) {
        ini.Values[L"S/Blur"] = c.Text;
        EXPECT_EQ(ini.ReadInteger(L"S", L"Blur", 7), c.Expected)
            << "value " << testing::PrintToString(std::wstring(c.Text));
    }
    ini.WriteInteger(L"S", L"Blur", -5);
    EXPECT_EQ(ini.ReadInteger(L"S", L"Blur", 7), -5);
}

} // namespace
