#include "textfx/AAMask.h"

#include <cstring>
#include <stdexcept>

#include "framework/Dib.h"
#include "framework/Scoped.h"

namespace {

ScopedPalette CreateGreyPalette() {
    struct {
        WORD version;
        WORD count;
        PALETTEENTRY entries[256];
    } palette{0x300, 256, {}};
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<BYTE>(i);
        palette.entries[i] = PALETTEENTRY{v, v, v, 0};
    }
    return ScopedPalette(CreatePalette(reinterpret_cast<const LOGPALETTE*>(&palette)));
}

// Made when the program starts, deleted when it ends.
const ScopedPalette greyPalette = CreateGreyPalette();

// An 8-bit top-down bitmap whose colour table is a copy of the grey palette.
struct TGreyBitmap {
    ScopedBitmap Bitmap;
    uint8_t* Bits = nullptr;
    int Stride = 0;

    TGreyBitmap(int width, int height) {
        PALETTEENTRY entries[256];
        GetPaletteEntries(GreyPalette(), 0, 256, entries);
        RGBQUAD colors[256];
        for (int i = 0; i < 256; ++i)
            colors[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
        void* bits = nullptr;
        Bitmap = CreateTopDownDib(width, height, 8, &bits, colors, 256);
        if (!Bitmap || !bits) throw std::runtime_error("Out of system resources");
        Bits = static_cast<uint8_t*>(bits);
        Stride = PaddedStride(width);
        std::memset(Bits, 0, static_cast<size_t>(Stride) * height);
    }
};

} // namespace

HPALETTE GreyPalette() {
    return greyPalette.Get();
}

void TAAMask::Assign(const TAAMask& source) {
    if (&source == this) return;
    FQuality = source.FQuality;
    FBuffer = source.FBuffer;
}

void TAAMask::Draw(const LOGFONTW& font, const std::wstring& text, const TTextBox& box) {
    FBuffer.SetSize(box.Width, box.Height);
    if (FBuffer.Empty() || text.empty()) return;
    const int s = Scale();

    TGreyBitmap rendering(box.Width * s, box.Height * s);
    LOGFONTW scaled = font;
    scaled.lfHeight *= s;
    scaled.lfWidth *= s;
    ScopedFont scaledFont(CreateFontIndirectW(&scaled));
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    ScopedSelectObject selectBitmap(dc.Get(), rendering.Bitmap.Get());
    ScopedSelectObject selectFont(dc.Get(), scaledFont.Get());
    SetTextColor(dc.Get(), RGB(255, 255, 255));
    SetBkMode(dc.Get(), TRANSPARENT);
    SetTextAlign(dc.Get(), TA_LEFT | TA_TOP | TA_NOUPDATECP);
    TextOutW(dc.Get(), box.StartX * s, box.StartY * s, text.c_str(), static_cast<int>(text.size()));
    GdiFlush();
    ReduceMask(rendering.Bits, rendering.Stride, s, FBuffer);
}
