#include "framework/CustomIniFile.h"

#include <cerrno>
#include <climits>
#include <cwchar>
#include <cwctype>

int TCustomIniFile::ReadInteger(const std::wstring& section, const std::wstring& key,
                                int defaultValue) {
    const std::wstring text = ReadString(section, key, L"");
    if (text.empty()) return defaultValue;
    const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    wchar_t* end = nullptr;
    errno = 0;
    int value;
    if (hex) {
        // The strto functions would take a sign or blanks after "0x". Hexadecimal names the 32
        // bits themselves, so a colour such as 0x80000005 keeps its high bit.
        if (!std::iswxdigit(text[2])) return defaultValue;
        const unsigned long bits = std::wcstoul(text.c_str() + 2, &end, 16);
        if (bits > 0xFFFFFFFFul) return defaultValue;
        value = static_cast<int>(static_cast<unsigned>(bits));
    } else {
        const long number = std::wcstol(text.c_str(), &end, 10);
        if (number < INT_MIN || number > INT_MAX) return defaultValue;
        value = static_cast<int>(number);
    }
    // Out of range is no number either: clamped, it would be a value nobody wrote.
    return (errno != ERANGE && end && *end == L'\0') ? value : defaultValue;
}

void TCustomIniFile::WriteInteger(const std::wstring& section, const std::wstring& key, int value) {
    WriteString(section, key, std::to_wstring(value));
}

bool TCustomIniFile::ReadBool(const std::wstring& section, const std::wstring& key,
                              bool defaultValue) {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::wstring& section, const std::wstring& key, bool value) {
    WriteString(section, key, value ? L"1" : L"0");
}
