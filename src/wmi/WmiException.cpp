#include "wmi/WmiException.h"

#include <algorithm>
#include <iterator>

#include "framework/Strings.h"

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

std::wstring WmiErrorText(HRESULT code) {
    const auto value = static_cast<unsigned long>(code);
    const auto* end = std::end(kErrorTexts);
    const auto* found = std::find_if(std::begin(kErrorTexts), end,
                                     [value](const TErrorText& e) { return e.Code == value; });
    const std::wstring text = found != end ? found->Text : SystemErrorMessage(code);
    return text + L": " + HexDigits(value, 8);
}

void WmiCheck(HRESULT code) {
    if (code < 0) throw TWmiException(WmiErrorText(code), code);
}
