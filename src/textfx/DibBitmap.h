#pragma once
// A 24-bit top-down DIB section whose pixels the pixel kernels work on directly.
#include <windows.h>

#include "framework/Scoped.h"
#include "textfx/PixelBuffers.h"

class TDibBitmap {
public:
    TDibBitmap() = default;
    ~TDibBitmap();
    TDibBitmap(const TDibBitmap&) = delete;
    TDibBitmap& operator=(const TDibBitmap&) = delete;

    // Keeps the bitmap when the size is unchanged; otherwise makes a new one, and raises when the
    // system refuses it. A size of 0 frees it.
    void SetSize(int width, int height);
    int Width() const { return FPixels.Width; }
    int Height() const { return FPixels.Height; }
    int BitsPerPixel() const { return 24; }
    HBITMAP Handle() const { return FBitmap.Get(); }
    // Flushes pending GDI drawing first, so the bytes are current.
    TColorPixels Pixels() const;
    // A memory DC with the bitmap selected, made at the first call and kept with the bitmap: a
    // label's area is copied in and out at every paint, and a new DC each time costs more than
    // the copy. Null while there is no bitmap.
    HDC Dc();

private:
    void ReleaseDc();

    ScopedBitmap FBitmap;
    TColorPixels FPixels;
    ScopedMemoryDc FDc;
    HGDIOBJ FOriginalBitmap = nullptr;
};

// A memory DC with a bitmap selected for the life of the scope.
class TBitmapDc {
public:
    explicit TBitmapDc(HBITMAP bitmap)
        : FDc(CreateCompatibleDC(nullptr)), FSelect(FDc.Get(), bitmap) {}
    HDC Get() const { return FDc.Get(); }

private:
    ScopedMemoryDc FDc;
    ScopedSelectObject FSelect;
};

// A colour with system colours (0x80000000 | index) resolved to their current value.
COLORREF ResolveColor(COLORREF color);
