#include "framework/TextFile.h"

#include <windows.h>

#include "framework/Scoped.h"
#include "framework/Strings.h"

bool AppendTextLine(const std::wstring& path, const std::wstring& line) {
    ScopedHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const std::string bytes = ToUtf8(line) + "\r\n";
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}
