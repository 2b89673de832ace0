#include "framework/OffscreenBitmap.h"

#include <utility>

void TOffscreenBitmap::Assign(ScopedBitmap bitmap, int width, int height) {
    if (!bitmap) return Reset();
    if (!FDc) FDc.Reset(CreateCompatibleDC(nullptr));
    if (!FDc) return Reset();
    const HGDIOBJ old = SelectObject(FDc.Get(), bitmap.Get());
    if (!FOriginalBitmap) FOriginalBitmap = old;
    // The previous bitmap is no longer selected, so it can go.
    FBitmap = std::move(bitmap);
    FWidth = width;
    FHeight = height;
}

void TOffscreenBitmap::Reset() {
    // The DC's own bitmap goes back in first: a selected bitmap cannot be deleted.
    if (FDc && FOriginalBitmap) SelectObject(FDc.Get(), FOriginalBitmap);
    FDc.Reset();
    FOriginalBitmap = nullptr;
    FBitmap.Reset();
    FWidth = FHeight = 0;
}
