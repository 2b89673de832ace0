#pragma once
// The plain pixel stores the text engine works on: 8-bit coverage masks and views of 24-bit
// bitmaps (blue, green, red), every row padded to a multiple of 4 bytes as DIBs have them.
// Free of windows.h, so the pixel work also builds and is checked natively.
#include <cstdint>
#include <stdexcept>
#include <vector>

// Colours are 0x00BBGGRR.
using TColorValue = uint32_t;
constexpr int RedOf(TColorValue c) {
    return c & 0xFF;
}
constexpr int GreenOf(TColorValue c) {
    return (c >> 8) & 0xFF;
}
constexpr int BlueOf(TColorValue c) {
    return (c >> 16) & 0xFF;
}
constexpr TColorValue RgbColor(int r, int g, int b) {
    return static_cast<TColorValue>(r) | (static_cast<TColorValue>(g) << 8) |
           (static_cast<TColorValue>(b) << 16);
}

class EInvalidLine : public std::runtime_error {
public:
    EInvalidLine() : std::runtime_error("Invalid line!") {}
};

class EInvalidForeBmp : public std::runtime_error {
public:
    EInvalidForeBmp() : std::runtime_error("Invalid foreground bitmap!") {}
};

// Bytes per row of a bitmap row of the given size, padded to a multiple of 4.
constexpr int PaddedStride(int bytesPerRow) {
    return (bytesPerRow + 3) / 4 * 4;
}

// One coverage byte per pixel: 0 nothing, 255 fully covered.
class TMaskBuffer {
public:
    TMaskBuffer() = default;
    TMaskBuffer(int width, int height) { SetSize(width, height); }

    // Resizes and clears the mask.
    void SetSize(int width, int height);
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Stride() const { return FStride; }
    bool Empty() const { return FWidth <= 0 || FHeight <= 0; }

    // Raises EInvalidLine for a row outside 0 .. Height() - 1.
    uint8_t* Line(int y);
    const uint8_t* Line(int y) const;
    uint8_t& At(int x, int y) { return Line(y)[x]; }
    uint8_t At(int x, int y) const { return Line(y)[x]; }

    const std::vector<uint8_t>& Bytes() const { return FBytes; }

private:
    int FWidth = 0;
    int FHeight = 0;
    int FStride = 0;
    std::vector<uint8_t> FBytes;
};

// A 24-bit top-down pixel area owned elsewhere (a DIB section, or a vector in tests).
struct TColorPixels {
    uint8_t* Bits = nullptr;
    int Width = 0;
    int Height = 0;
    int Stride = 0;

    uint8_t* Line(int y) const;
    void Fill(TColorValue color) const;
    bool Empty() const { return !Bits || Width <= 0 || Height <= 0; }
};

// A 24-bit pixel area with storage of its own.
class TColorBuffer {
public:
    TColorBuffer(int width, int height);
    TColorPixels& Pixels() { return FPixels; }
    uint8_t* Pixel(int x, int y) { return FPixels.Line(y) + 3 * x; }
    TColorValue ColorAt(int x, int y);
    void Fill(TColorValue color) { FPixels.Fill(color); }

private:
    std::vector<uint8_t> FBytes;
    TColorPixels FPixels;
};
