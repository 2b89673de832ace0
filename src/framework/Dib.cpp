#include "framework/Dib.h"

#include <algorithm>

ScopedBitmap CreateTopDownDib(int width, int height, WORD bitCount, void** bits,
                              const RGBQUAD* colors, int colorCount) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = width;
    info.header.biHeight = -height; // top-down: row 0 first in memory
    info.header.biPlanes = 1;
    info.header.biBitCount = bitCount;
    info.header.biCompression = BI_RGB;
    colorCount = std::clamp(colorCount, 0, 256);
    if (colors) {
        std::copy(colors, colors + colorCount, info.colors);
        info.header.biClrUsed = static_cast<DWORD>(colorCount);
    }
    *bits = nullptr;
    ScopedBitmap bitmap(CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info),
                                         DIB_RGB_COLORS, bits, nullptr, 0));
    if (!*bits) bitmap.Reset();
    return bitmap;
}
