#include "wmi/WmiException.h"

#include "framework/Strings.h"
#include "wmi/WmiErrorTable.h"

std::wstring WmiErrorText(HRESULT code) {
    const auto value = static_cast<unsigned long>(code);
    const wchar_t* described = WmiDescribedText(value);
    const std::wstring text = described ? described : SystemErrorMessage(code);
    return text + L": " + HexDigits(value, 8);
}

void WmiCheck(HRESULT code) {
    if (code < 0) throw TWmiException(WmiErrorText(code), code);
}
