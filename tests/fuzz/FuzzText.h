#pragma once
// Fuzz input as the program's text: UTF-16 code units, as Windows holds them, one per wchar_t
// (wider on Linux). The input is read as UTF-8 so that the seeds stay readable; a byte that
// starts no valid sequence becomes the unit of the same value, and a character beyond the
// basic plane becomes its surrogate pair.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline std::wstring FuzzText(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t i = 0; i < size;) {
        const uint8_t b = data[i];
        size_t length = b < 0x80         ? 1
                        : (b >> 5) == 6  ? 2
                        : (b >> 4) == 14 ? 3
                        : (b >> 3) == 30 ? 4
                                         : 0;
        uint32_t code = length == 1   ? b
                        : length == 2 ? b & 0x1F
                        : length == 3 ? b & 0x0F
                                      : b & 0x07;
        for (size_t k = 1; k < length; ++k) {
            if (i + k >= size || (data[i + k] & 0xC0) != 0x80) {
                length = 0;
                break;
            }
            code = (code << 6) | (data[i + k] & 0x3F);
        }
        if (length == 0 || code > 0x10FFFF) {
            text += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        if (code > 0xFFFF) {
            code -= 0x10000;
            text += static_cast<wchar_t>(0xD800 + (code >> 10));
            text += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        } else {
            text += static_cast<wchar_t>(code);
        }
        i += length;
    }
    return text;
}

// A property that must hold: reported and ended like a sanitizer's finding, so libFuzzer keeps
// the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__,          \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
