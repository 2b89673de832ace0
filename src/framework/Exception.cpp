#include "framework/Exception.h"

#include "framework/Strings.h"

#include <windows.h>

Exception::Exception(std::wstring message)
    : FMessage(std::move(message)), FUtf8(ToUtf8(FMessage)) {}

std::wstring ExceptionMessage(const std::exception& e) {
    if (auto* own = dynamic_cast<const Exception*>(&e)) return own->Message();
    return FromUtf8(e.what());
}

std::wstring SystemErrorMessage(long code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) text = L"Error " + HexDigits(static_cast<unsigned long>(code), 8);
    return text;
}

void Exception::DescribeAs(const std::wstring& whatFailed) {
    FMessage = whatFailed + L"\n" + SystemText();
    FUtf8 = ToUtf8(FMessage);
    FDescribed = true;
}
