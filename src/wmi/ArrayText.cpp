#include "wmi/ArrayText.h"

std::wstring ArrayText(const unsigned long* extents, size_t dimensions, const unsigned char* data,
                       size_t elementSize,
                       const std::function<std::wstring(const unsigned char*)>& elementText) {
    size_t count = dimensions ? 1 : 0;
    for (size_t d = 0; d < dimensions; ++d)
        count *= extents[d];
    std::wstring text = L"{";
    for (size_t i = 0; i < count; ++i) {
        if (i) text += L", ";
        text += elementText(data + i * elementSize);
    }
    return text + L"}";
}
