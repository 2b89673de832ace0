// Numbers read from INI values: a value reads as a number exactly when it is one of the two
// forms, judged here digit by digit; everything else gives the default. Written numbers read
// back as themselves.
#include <cwctype>
#include <map>

#include "FuzzText.h"
#include "support/MemoryIni.h"
#include "framework/Strings.h"

namespace {
// The number a text names by the two forms, or false.
bool Reference(const std::wstring& text, long long& value) {
    size_t i = 0;
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        i = 2;
        unsigned long long bits = 0;
        for (; i < text.size(); ++i) {
            const wchar_t c = text[i];
            const int digit = c >= L'0' && c <= L'9'   ? c - L'0'
                              : c >= L'a' && c <= L'f' ? c - L'a' + 10
                              : c >= L'A' && c <= L'F' ? c - L'A' + 10
                                                       : -1;
            if (digit < 0) return false;
            bits = bits * 16 + static_cast<unsigned>(digit);
            if (bits > 0xFFFFFFFFull) return false;
        }
        value = static_cast<int>(static_cast<unsigned>(bits));
        return true;
    }
    while (i < text.size() && std::iswspace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    if (i == text.size()) return false;
    long long magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        magnitude = magnitude * 10 + (text[i] - L'0');
        if (magnitude > 2147483648LL) return false;
    }
    value = negative ? -magnitude : magnitude;
    return value >= -2147483648LL && value <= 2147483647LL;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = FuzzText(data, size);
    TMemoryIni ini;
    ini.WriteString(L"S", L"K", text);
    const int sentinel = 0x5EED;
    const int read = ini.ReadInteger(L"S", L"K", sentinel);
    long long expected = 0;
    if (Reference(text, expected)) {
        FUZZ_CHECK(read == expected);
        FUZZ_CHECK(ini.ReadBool(L"S", L"K", expected == 0) == (expected != 0));
    } else {
        FUZZ_CHECK(read == sentinel);
        FUZZ_CHECK(ini.ReadInteger(L"S", L"K", -7) == -7);
    }
    if (size >= 4) {
        int number = 0;
        __builtin_memcpy(&number, data, sizeof number);
        ini.WriteInteger(L"S", L"N", number);
        FUZZ_CHECK(ini.ReadInteger(L"S", L"N", number ^ 1) == number);
        ini.WriteString(L"S", L"H", L"0x" + HexDigits(static_cast<unsigned>(number), 8));
        FUZZ_CHECK(ini.ReadInteger(L"S", L"H", number ^ 1) == number);
    }
    return 0;
}
