#include "textfx/DibBitmap.h"

#include <stdexcept>

#include "framework/Dib.h"

TDibBitmap::~TDibBitmap() {
    ReleaseDc();
}

void TDibBitmap::ReleaseDc() {
    // The DC's own bitmap goes back in first: a selected bitmap cannot be deleted.
    if (FDc && FOriginalBitmap) SelectObject(FDc.Get(), FOriginalBitmap);
    FDc.Reset();
    FOriginalBitmap = nullptr;
}

void TDibBitmap::SetSize(int width, int height) {
    if (width == FPixels.Width && height == FPixels.Height && FBitmap) return;
    ReleaseDc();
    FBitmap.Reset();
    FPixels = TColorPixels{};
    if (width <= 0 || height <= 0) return;
    void* bits = nullptr;
    FBitmap = CreateTopDownDib(width, height, 24, &bits);
    if (!FBitmap) throw std::runtime_error("Out of system resources");
    FPixels = TColorPixels{static_cast<uint8_t*>(bits), width, height, PaddedStride(3 * width)};
}

HDC TDibBitmap::Dc() {
    if (!FBitmap) return nullptr;
    if (!FDc) {
        FDc.Reset(CreateCompatibleDC(nullptr));
        if (!FDc) throw std::runtime_error("Out of system resources");
        FOriginalBitmap = SelectObject(FDc.Get(), FBitmap.Get());
    }
    return FDc.Get();
}

TColorPixels TDibBitmap::Pixels() const {
    GdiFlush();
    return FPixels;
}

COLORREF ResolveColor(COLORREF color) {
    if ((color & 0xFF000000) == 0x80000000) return GetSysColor(static_cast<int>(color & 0xFF));
    return color & 0x00FFFFFF;
}
