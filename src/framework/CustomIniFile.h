#pragma once
// The INI-style store components save their settings to: sections of name=value texts.
// Free of windows.h, so code on plain data can use it anywhere.
#include <string>

class TCustomIniFile {
public:
    virtual ~TCustomIniFile() = default;
    virtual std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                                    const std::wstring& defaultValue) = 0;
    virtual void WriteString(const std::wstring& section, const std::wstring& key,
                             const std::wstring& value) = 0;

    // A value that is not a whole decimal (or 0x hexadecimal) number answers the default.
    int ReadInteger(const std::wstring& section, const std::wstring& key, int defaultValue);
    void WriteInteger(const std::wstring& section, const std::wstring& key, int value);
    bool ReadBool(const std::wstring& section, const std::wstring& key, bool defaultValue);
    void WriteBool(const std::wstring& section, const std::wstring& key, bool value);
};
