// The configuration dialog's adapter items: the number read back from an item is the Index it
// was made from, whatever the description holds; any other item names a number only when its
// text before the first ":" is one.
#include <string>

#include "FuzzText.h"
#include "dialogs/AdapterItem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    int index = 0;
    __builtin_memcpy(&index, data, sizeof index);
    const std::wstring text = FuzzText(data + 4, size - 4);

    const std::wstring item = AdapterItemText(std::to_wstring(index), text);
    int number = index ^ 1;
    FUZZ_CHECK(AdapterOfItem(item) == std::to_wstring(index));
    FUZZ_CHECK(AdapterItemNumber(item, number) && number == index);

    // The text as an item of its own, as a list filled by another hand would hold it.
    const std::wstring adapter = AdapterOfItem(text);
    FUZZ_CHECK(adapter.find(L':') == std::wstring::npos);
    FUZZ_CHECK(text.compare(0, adapter.size(), adapter) == 0);
    number = 0;
    if (AdapterItemNumber(text, number)) FUZZ_CHECK(!adapter.empty());
    return 0;
}
