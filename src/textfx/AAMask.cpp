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
ScopedBitmap CreateGreyBitmap(int width, int height, uint8_t** bits) {
    PALETTEENTRY entries[256];
    GetPaletteEntries(GreyPalette(), 0, 256, entries);
    RGBQUAD colors[256];
    for (int i = 0; i < 256; ++i)
        colors[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    void* raw = nullptr;
    ScopedBitmap bitmap = CreateTopDownDib(width, height, 8, &raw, colors, 256);
    if (!bitmap || !raw) throw std::runtime_error("Out of system resources");
    *bits = static_cast<uint8_t*>(raw);
    return bitmap;
}

} // namespace

HPALETTE GreyPalette() {
    return greyPalette.Get();
}

void TAAMask::Assign(const TAAMask& source) {
    if (&source == this) return;
    FQuality = source.FQuality;
    FBuffer = source.FBuffer;
}

TAAMask::~TAAMask() {
    ReleaseDc();
}

void TAAMask::ReleaseDc() {
    if (!FDc) return;
    // Selected objects cannot be deleted: the DC's own go back in first.
    if (FOriginalFont) SelectObject(FDc.Get(), FOriginalFont);
    if (FOriginalBitmap) SelectObject(FDc.Get(), FOriginalBitmap);
    FDc.Reset();
    FOriginalFont = FOriginalBitmap = nullptr;
}

HDC TAAMask::PrepareDc(const LOGFONTW& font) {
    if (!FDc) {
        FDc.Reset(CreateCompatibleDC(nullptr));
        if (!FDc) throw std::runtime_error("Out of system resources");
        SetTextColor(FDc.Get(), RGB(255, 255, 255));
        SetBkMode(FDc.Get(), TRANSPARENT);
        SetTextAlign(FDc.Get(), TA_LEFT | TA_TOP | TA_NOUPDATECP);
    }
    LOGFONTW scaled = font;
    scaled.lfHeight *= Scale();
    scaled.lfWidth *= Scale();
    if (!FFont || std::memcmp(&scaled, &FFontKey, sizeof scaled) != 0) {
        ScopedFont next(CreateFontIndirectW(&scaled));
        HGDIOBJ old = SelectObject(FDc.Get(), next.Get());
        if (!FOriginalFont) FOriginalFont = old;
        FFont = std::move(next);
        FFontKey = scaled;
    }
    return FDc.Get();
}

SIZE TAAMask::ScaledExtent(const LOGFONTW& font, const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(PrepareDc(font), text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

void TAAMask::Draw(const LOGFONTW& font, const std::wstring& text, const TTextBox& box) {
    FBuffer.SetSize(box.Width, box.Height);
    if (FBuffer.Empty() || text.empty()) return;
    const int s = Scale();
    const int width = box.Width * s, height = box.Height * s;
    const int stride = PaddedStride(width);

    HDC dc = PrepareDc(font);
    if (!FRendering || FRenderingWidth != width || FRenderingHeight != height) {
        uint8_t* bits = nullptr;
        ScopedBitmap next = CreateGreyBitmap(width, height, &bits);
        HGDIOBJ old = SelectObject(dc, next.Get());
        if (!FOriginalBitmap) FOriginalBitmap = old;
        FRendering = std::move(next);
        FRenderingBits = bits;
        FRenderingWidth = width;
        FRenderingHeight = height;
    }
    GdiFlush();
    std::memset(FRenderingBits, 0, static_cast<size_t>(stride) * height);
    TextOutW(dc, box.StartX * s, box.StartY * s, text.c_str(), static_cast<int>(text.size()));
    GdiFlush();
    ReduceMask(FRenderingBits, stride, s, FBuffer);
}
