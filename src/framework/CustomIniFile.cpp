#include "framework/CustomIniFile.h"

#include <cwchar>

int TCustomIniFile::ReadInteger(const std::wstring& section, const std::wstring& key, int defaultValue) {
    const std::wstring text = ReadString(section, key, L"");
    if (text.empty()) return defaultValue;
    const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    wchar_t* end = nullptr;
    const long value = std::wcstol(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    return (end && *end == L'\0') ? static_cast<int>(value) : defaultValue;
}

void TCustomIniFile::WriteInteger(const std::wstring& section, const std::wstring& key, int value) {
    WriteString(section, key, std::to_wstring(value));
}

bool TCustomIniFile::ReadBool(const std::wstring& section, const std::wstring& key, bool defaultValue) {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::wstring& section, const std::wstring& key, bool value) {
    WriteString(section, key, value ? L"1" : L"0");
}
