#pragma once
// Conversions between the program's UTF-16 text and 8-bit code pages, and small text helpers.
#include <string>
#include <string_view>

std::wstring Widen(std::string_view text, unsigned codePage);
std::string Narrow(std::wstring_view text, unsigned codePage);
std::wstring FromUtf8(std::string_view text);
std::string ToUtf8(std::wstring_view text);

// Replaces the first occurrence of what by with; answers whether there was one.
bool ReplaceFirst(std::wstring& text, std::wstring_view what, std::wstring_view with);

// Upper-case hexadecimal with the given number of digits, as in "8004100E".
std::wstring HexDigits(unsigned long value, int digits);
