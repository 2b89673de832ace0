// The WMI error texts: only the codes WMI describes have a text of the table, every text is
// whole, and the code's eight hexadecimal digits read back as the code.
#include <cwchar>

#include "FuzzText.h"
#include "framework/Strings.h"
#include "wmi/WmiErrorTable.h"

namespace {
bool Described(unsigned long code) {
    if (code >= 0x80041001ul && code <= 0x80041087ul)
        return !(code >= 0x8004104Aul && code <= 0x8004104Ful) && code != 0x8004105Eul &&
               !(code >= 0x8004107Bul && code <= 0x8004107Ful);
    return code == 0x80042001ul || code == 0x80042002ul || code == 0x80043001ul ||
           code == 0x80043002ul;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t raw = 0;
    __builtin_memcpy(&raw, data, sizeof raw);
    // Most inputs land near the table, where the codes are.
    const unsigned long code = size > 4 && data[4] & 1 ? 0x80040000ul | (raw & 0xFFFF) : raw;
    const wchar_t* text = WmiDescribedText(code);
    FUZZ_CHECK((text != nullptr) == Described(code));
    if (text) {
        const size_t length = std::wcslen(text);
        FUZZ_CHECK(length > 0 && text[length - 1] != L' ');
        const bool windowsXp = std::wcsncmp(text, L"Windows XP: ", 12) == 0;
        FUZZ_CHECK(windowsXp ==
                   (code == 0x80041060ul || (code >= 0x80041067ul && code <= 0x80041087ul)));
    }
    const std::wstring digits = HexDigits(code, 8);
    FUZZ_CHECK(digits.size() == 8);
    FUZZ_CHECK(std::wcstoul(digits.c_str(), nullptr, 16) == code);
    return 0;
}
