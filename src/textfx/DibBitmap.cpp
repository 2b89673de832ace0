#include "textfx/DibBitmap.h"

void TDibBitmap::SetSize(int width, int height) {
    if (width == FPixels.Width && height == FPixels.Height && FBitmap) return;
    FBitmap.Reset();
    FPixels = TColorPixels{};
    if (width <= 0 || height <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    FBitmap.Reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!FBitmap || !bits) {
        FBitmap.Reset();
        return;
    }
    FPixels = TColorPixels{static_cast<uint8_t*>(bits), width, height, PaddedStride(3 * width)};
}

TColorPixels TDibBitmap::Pixels() const {
    GdiFlush();
    return FPixels;
}

COLORREF ResolveColor(COLORREF color) {
    if ((color & 0xFF000000) == 0x80000000) return GetSysColor(static_cast<int>(color & 0xFF));
    return color & 0x00FFFFFF;
}
