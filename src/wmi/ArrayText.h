#pragma once
// The text of an array value: "{", its elements' texts separated by ", ", "}". The walk over the
// array's memory is kept apart from the text of one element, so it needs no windows.h.
#include <cstddef>
#include <functional>
#include <string>

// extents: the number of elements of each dimension (none: no elements). The elements lie one
// after another from data, elementSize bytes each; elementText gives the text of one.
std::wstring ArrayText(const unsigned long* extents, size_t dimensions, const unsigned char* data,
                       size_t elementSize,
                       const std::function<std::wstring(const unsigned char*)>& elementText);
