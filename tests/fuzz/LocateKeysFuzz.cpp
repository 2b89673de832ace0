// Locate's key field names: one name per ";"-separated part, trimmed, none holding a ";"; and the
// rule for how many key values the names take.
#include "FuzzText.h"
#include "wmi/LocateKeys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::wstring text = FuzzText(data + 2, size - 2);
    const std::vector<std::wstring> names = LocateKeyNames(text);
    size_t semicolons = 0;
    for (wchar_t c : text)
        semicolons += c == L';';
    FUZZ_CHECK(names.size() == semicolons + 1);
    size_t at = 0;
    for (const std::wstring& name : names) {
        FUZZ_CHECK(name.find(L';') == std::wstring::npos);
        if (!name.empty()) {
            FUZZ_CHECK(name.front() > L' ' && name.back() > L' ');
            at = text.find(name, at);
            FUZZ_CHECK(at != std::wstring::npos);
            at += name.size();
        }
    }
    const bool isArray = data[0] & 1;
    const long length = static_cast<signed char>(data[1]);
    const bool fits = LocateValuesFit(names.size(), isArray, length);
    if (names.size() == 1)
        FUZZ_CHECK(fits);
    else
        FUZZ_CHECK(fits == (isArray && length == static_cast<long>(names.size())));
    return 0;
}
