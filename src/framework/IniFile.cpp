#include "framework/IniFile.h"

#include <windows.h>

#include "framework/Exception.h"

std::wstring TIniFile::ReadString(const std::wstring& section, const std::wstring& key,
                                  const std::wstring& defaultValue) {
    wchar_t buffer[MaxValueLength + 1];
    const DWORD n =
        GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buffer,
                                 static_cast<DWORD>(MaxValueLength + 1), FFileName.c_str());
    return std::wstring(buffer, n);
}

void TIniFile::WriteString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& value) {
    if (!WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), FFileName.c_str()))
        throw Exception(L"Unable to write to " + FFileName);
}
