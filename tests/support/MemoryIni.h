#pragma once
// A settings store in memory, for code that reads and writes through TCustomIniFile: Values
// holds "section/key" = value, for a test to fill in or look at. Free of windows.h.
#include <map>
#include <string>

#include "framework/CustomIniFile.h"

class TMemoryIni : public TCustomIniFile {
public:
    std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& defaultValue) override {
        const auto it = Values.find(section + L"/" + key);
        return it == Values.end() ? defaultValue : it->second;
    }
    void WriteString(const std::wstring& section, const std::wstring& key,
                     const std::wstring& value) override {
        Values[section + L"/" + key] = value;
    }

    std::map<std::wstring, std::wstring> Values;
};
