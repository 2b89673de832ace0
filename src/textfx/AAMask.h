#pragma once
// The coverage mask of a text: the text rendered white on black at s times its size and
// averaged down, one byte per target pixel.
#include <windows.h>

#include <string>

#include "framework/Scoped.h"
#include "textfx/PixelBuffers.h"
#include "textfx/PixelKernels.h"
#include "textfx/TextGeometry.h"

class TAAMask {
public:
    TAAMask() = default;
    ~TAAMask();
    TAAMask(const TAAMask&) = delete;
    TAAMask& operator=(const TAAMask&) = delete;

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
    // The extent of `text` in `font` at this mask's scale.
    SIZE ScaledExtent(const LOGFONTW& font, const std::wstring& text);

private:
    // The DC that measures and renders, with the scaled font of `font` selected. The DC, the
    // font and the rendering bitmap are kept between texts: making them anew for every text
    // costs more than drawing it. They follow the font, the scale and the size they serve.
    HDC PrepareDc(const LOGFONTW& font);
    void ReleaseDc();

    TAAQuality FQuality = aqNormal;
    TMaskBuffer FBuffer;
    ScopedMemoryDc FDc;
    HGDIOBJ FOriginalFont = nullptr;
    HGDIOBJ FOriginalBitmap = nullptr;
    ScopedFont FFont;
    LOGFONTW FFontKey{};
    ScopedBitmap FRendering;
    uint8_t* FRenderingBits = nullptr;
    int FRenderingWidth = 0;
    int FRenderingHeight = 0;
};

// The grey palette every mask's rendering uses: entry i is (i, i, i).
HPALETTE GreyPalette();
