#pragma once
// A bitmap with a memory DC kept selected into it, for pixels copied out at every paint: a DC
// made for each copy costs more than copying a label's rectangle.
#include <windows.h>

#include "framework/Scoped.h"

class TOffscreenBitmap {
public:
    TOffscreenBitmap() = default;
    ~TOffscreenBitmap() { Reset(); }
    TOffscreenBitmap(const TOffscreenBitmap&) = delete;
    TOffscreenBitmap& operator=(const TOffscreenBitmap&) = delete;

    // Null while there is no bitmap.
    HDC Dc() const { return FDc.Get(); }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }

    // Takes the bitmap, of the given size, in place of the one before; a null bitmap (one the
    // system refused) leaves the object empty.
    void Assign(ScopedBitmap bitmap, int width, int height);
    void Reset();

private:
    ScopedBitmap FBitmap;
    ScopedMemoryDc FDc;
    HGDIOBJ FOriginalBitmap = nullptr;
    int FWidth = 0;
    int FHeight = 0;
};
