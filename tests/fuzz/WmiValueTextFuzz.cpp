// The walk that turns an array value into "{a, b}": over arrays of any shape and element size,
// nested as arrays of variants nest, it reads each element once, in order, within the array's
// memory. The element's own text here is its bytes in hexadecimal; the program asks COM for it.
#include <vector>

#include "FuzzText.h"
#include "wmi/ArrayText.h"

namespace {
struct TReader {
    const uint8_t* Data;
    size_t Size;
    uint8_t Byte() {
        if (!Size) return 0;
        --Size;
        return *Data++;
    }
};

std::wstring Hex(const unsigned char* element, size_t size) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (size_t i = 0; i < size; ++i) {
        text += digits[element[i] >> 4];
        text += digits[element[i] & 15];
    }
    return text;
}

// An array read from the input: its shape, then its elements' bytes in a buffer of exactly its
// size, so that the address sanitizer sees any read beyond it.
std::wstring Array(TReader& in, int depth, size_t& elementsSeen) {
    const size_t dimensions = in.Byte() % 4;
    std::vector<unsigned long> extents;
    size_t count = dimensions ? 1 : 0;
    for (size_t d = 0; d < dimensions; ++d) {
        extents.push_back(in.Byte() % 6);
        count *= extents.back();
    }
    const size_t elementSize = 1 + in.Byte() % 24;
    const bool nested = depth < 3 && count <= 8 && in.Byte() % 4 == 0;
    std::vector<unsigned char> memory(count * elementSize);
    for (unsigned char& b : memory)
        b = in.Byte();
    size_t walked = 0;
    const unsigned char* const first = memory.data();
    const std::wstring text =
        ArrayText(extents.data(), extents.size(), first, elementSize, [&](const unsigned char* e) {
            FUZZ_CHECK(e == first + walked * elementSize);
            ++walked;
            ++elementsSeen;
            return nested ? Array(in, depth + 1, elementsSeen) : Hex(e, elementSize);
        });
    FUZZ_CHECK(walked == count);
    FUZZ_CHECK(text.size() >= 2 && text.front() == L'{' && text.back() == L'}');
    if (!nested) {
        // Each element's text is elementSize * 2 digits, separated by ", ".
        const size_t expected = 2 + count * elementSize * 2 + (count ? (count - 1) * 2 : 0);
        FUZZ_CHECK(text.size() == expected);
    }
    return text;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TReader in{data, size};
    size_t elements = 0;
    Array(in, 0, elements);
    return 0;
}
