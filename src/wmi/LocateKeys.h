#pragma once
// How a Locate reads its keys: the field names and which key value goes with each. Needs no
// windows.h.
#include <string>
#include <vector>

// The key field names: the text split at ";", each name trimmed.
std::vector<std::wstring> LocateKeyNames(const std::wstring& keyFields);
// Whether the key values suit that many names: one name takes any value (of an array, its first
// element), more names an array with one element each.
bool LocateValuesFit(size_t names, bool valuesAreArray, long arrayLength);
