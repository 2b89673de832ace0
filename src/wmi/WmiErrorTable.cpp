#include "wmi/WmiErrorTable.h"

#include <algorithm>
#include <iterator>

namespace {
struct TErrorText {
    unsigned long Code;
    const wchar_t* Text;
};
// In the order of the source table; the lookup does not rely on it.
const TErrorText kErrorTexts[] = {
#include "wmi/WmiErrorTexts.inc"
};
} // namespace

const wchar_t* WmiDescribedText(unsigned long code) {
    const auto* end = std::end(kErrorTexts);
    const auto* found = std::find_if(std::begin(kErrorTexts), end,
                                     [code](const TErrorText& e) { return e.Code == code; });
    return found != end ? found->Text : nullptr;
}
