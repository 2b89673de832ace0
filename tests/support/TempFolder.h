#pragma once
// A folder of its own for one test, removed with everything in it afterwards.
#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, with a trailing separator.
    const std::wstring& Path() const { return FPath; }
    std::wstring File(const std::wstring& name) const { return FPath + name; }
    // Writes bytes as they are, so a test controls the file's encoding.
    void WriteBytes(const std::wstring& name, const std::string& bytes) const;
    std::string ReadBytes(const std::wstring& name) const;

private:
    std::wstring FPath;
};
