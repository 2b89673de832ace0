#pragma once
// An INI file read and written through the platform's private-profile API: no cache, every
// read and write goes to the file. A file without a Unicode byte-order mark stays in the
// system's 8-bit code page, as the platform writes it.
#include <string>

#include "framework/CustomIniFile.h"

class TIniFile : public TCustomIniFile {
public:
    explicit TIniFile(std::wstring fileName) : FFileName(std::move(fileName)) {}
    const std::wstring& FileName() const { return FFileName; }

    // Answers at most MaxValueLength characters of the stored value.
    std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& defaultValue) override;
    // Raises "Unable to write to <path>" when the platform refuses the write, and before
    // writing anything when the section, key or value holds a CR, LF or NUL.
    void WriteString(const std::wstring& section, const std::wstring& key,
                     const std::wstring& value) override;

    static constexpr size_t MaxValueLength = 2047;

private:
    std::wstring FFileName;
};
