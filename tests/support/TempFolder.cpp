#include "support/TempFolder.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    FPath = std::wstring(base) + L"tarnwick-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter) + L"\\";
    std::filesystem::create_directories(FPath);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    // Files made read-only by a test must not keep the folder alive.
    for (auto& entry : std::filesystem::recursive_directory_iterator(FPath, ignored))
        SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(FPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(FPath, ignored);
}

void TempFolder::WriteBytes(const std::wstring& name, const std::string& bytes) const {
    std::ofstream out(std::filesystem::path(File(name)), std::ios::binary);
    out << bytes;
}

std::string TempFolder::ReadBytes(const std::wstring& name) const {
    std::ifstream in(std::filesystem::path(File(name)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
