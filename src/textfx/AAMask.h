#pragma once
// The coverage mask of a text: the text rendered white on black at s times its size and
// averaged down, one byte per target pixel.
#include <windows.h>

#include <string>

#include "textfx/PixelBuffers.h"
#include "textfx/PixelKernels.h"
#include "textfx/TextGeometry.h"

class TAAMask {
public:
    TAAQuality Quality() const { return FQuality; }
    void SetQuality(TAAQuality value) { FQuality = value; }
    int Scale() const { return QualityScale(FQuality); }

    int Width() const { return FBuffer.Width(); }
    int Height() const { return FBuffer.Height(); }
    int Stride() const { return FBuffer.Stride(); }
    // Raises EInvalidLine for a row outside the mask.
    uint8_t* Line(int y) { return FBuffer.Line(y); }
    TMaskBuffer& Buffer() { return FBuffer; }
    const TMaskBuffer& Buffer() const { return FBuffer; }
    void Assign(const TAAMask& source);

    // Renders `text` in `font` into a box measured for it at this mask's scale; the bitmap
    // used for it is released again.
    void Draw(const LOGFONTW& font, const std::wstring& text, const TTextBox& box);

private:
    TAAQuality FQuality = aqNormal;
    TMaskBuffer FBuffer;
};

// The grey palette every mask's rendering uses: entry i is (i, i, i).
HPALETTE GreyPalette();
