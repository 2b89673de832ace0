#pragma once
// The adapter list's items, "<Index>: <Description>", and the Index read back from one. Needs no
// windows.h.
#include <string>

std::wstring AdapterItemText(const std::wstring& index, const std::wstring& description);
// The Index an item shows: its text up to the first ":".
std::wstring AdapterOfItem(const std::wstring& item);
// That Index as a number; false when it is none (the item then names no adapter's row).
bool AdapterItemNumber(const std::wstring& item, int& number);
