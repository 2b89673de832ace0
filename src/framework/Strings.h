#pragma once
// Conversions between the program's UTF-16 text and 8-bit code pages, and small text helpers.
#include <string>
#include <string_view>
#include <vector>

std::wstring Widen(std::string_view text, unsigned codePage);
std::string Narrow(std::wstring_view text, unsigned codePage);
std::wstring FromUtf8(std::string_view text);
std::string ToUtf8(std::wstring_view text);

// Replaces the first occurrence of what by with; answers whether there was one.
bool ReplaceFirst(std::wstring& text, std::wstring_view what, std::wstring_view with);

// Without leading and trailing blanks and control characters.
std::wstring Trim(std::wstring_view text);
// Every line followed by a carriage return and a line feed, as a text list's whole text.
std::wstring LinesText(const std::vector<std::wstring>& lines);
// Upper case by the system's rules, for comparisons that ignore case.
std::wstring UpperCase(std::wstring_view text);
// Equal but for case, as names (of fields, parameters, qualifiers) are compared.
bool SameText(std::wstring_view a, std::wstring_view b);

// Upper-case hexadecimal with the given number of digits, as in "8004100E".
std::wstring HexDigits(unsigned long value, int digits);
// A whole decimal number, or 0x and the 32 bits in hexadecimal, within int; false for any other
// text, value then unchanged.
bool TryTextToInt(std::wstring_view text, int& value);
