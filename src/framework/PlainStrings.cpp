#include <algorithm>
#include <cerrno>
#include <climits>
#include <cwchar>
#include <cwctype>

#include "framework/Strings.h"

// The helpers of Strings.h that need no windows.h, so that code built natively can use them.

bool ReplaceFirst(std::wstring& text, std::wstring_view what, std::wstring_view with) {
    const size_t at = text.find(what);
    if (at == std::wstring::npos) return false;
    text.replace(at, what.size(), with);
    return true;
}

std::wstring HexDigits(unsigned long value, int digits) {
    static const wchar_t hex[] = L"0123456789ABCDEF";
    std::wstring result(static_cast<size_t>(digits), L'0');
    for (int i = digits - 1; i >= 0 && value != 0; --i, value >>= 4)
        result[static_cast<size_t>(i)] = hex[value & 0xF];
    return result;
}

std::wstring Trim(std::wstring_view text) {
    size_t first = 0, last = text.size();
    while (first < last && text[first] <= L' ')
        ++first;
    while (last > first && text[last - 1] <= L' ')
        --last;
    return std::wstring(text.substr(first, last - first));
}

std::wstring LinesText(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const auto& line : lines)
        text += line + L"\r\n";
    return text;
}

bool TryTextToInt(std::wstring_view text, int& value) {
    if (text.empty()) return false;
    const std::wstring whole(text);
    const bool hex = whole.size() > 2 && whole[0] == L'0' && (whole[1] == L'x' || whole[1] == L'X');
    wchar_t* end = nullptr;
    errno = 0;
    int number;
    if (hex) {
        // The strto functions would take a sign, blanks or a second "0x" after "0x". Hexadecimal
        // names the 32 bits themselves, so a colour such as 0x80000005 keeps its high bit.
        if (!std::all_of(whole.begin() + 2, whole.end(),
                         [](wchar_t c) { return std::iswxdigit(c); }))
            return false;
        const unsigned long bits = std::wcstoul(whole.c_str() + 2, &end, 16);
        if (bits > 0xFFFFFFFFul) return false;
        number = static_cast<int>(static_cast<unsigned>(bits));
    } else {
        const long decimal = std::wcstol(whole.c_str(), &end, 10);
        if (decimal < INT_MIN || decimal > INT_MAX) return false;
        number = static_cast<int>(decimal);
    }
    // Out of range is no number either: clamped, it would be a value nobody wrote. A NUL inside
    // the text ends the number early, so it must be the text's end too.
    if (errno == ERANGE || end != whole.c_str() + whole.size()) return false;
    value = number;
    return true;
}
