#include "framework/CustomIniFile.h"

#include "framework/Strings.h"

int TCustomIniFile::ReadInteger(const std::wstring& section, const std::wstring& key,
                                int defaultValue) {
    int value = defaultValue;
    TryTextToInt(ReadString(section, key, L""), value);
    return value;
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
