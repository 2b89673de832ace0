#include "wmi/LocateKeys.h"

#include "framework/Strings.h"

std::vector<std::wstring> LocateKeyNames(const std::wstring& keyFields) {
    std::vector<std::wstring> names;
    size_t start = 0;
    for (;;) {
        const size_t semicolon = keyFields.find(L';', start);
        names.push_back(Trim(keyFields.substr(start, semicolon - start)));
        if (semicolon == std::wstring::npos) return names;
        start = semicolon + 1;
    }
}

bool LocateValuesFit(size_t names, bool valuesAreArray, long arrayLength) {
    return names <= 1 || (valuesAreArray && arrayLength == static_cast<long>(names));
}
