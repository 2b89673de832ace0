#include "textfx/AAText.h"

#include <algorithm>
#include <cstdlib>

#include "framework/JpegPicture.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"

namespace {

// Puts the canvas brush style back however the drawing ends.
class TBrushStyleScope {
public:
    explicit TBrushStyleScope(TBrush& brush) : FBrush(brush), FStyle(brush.Style()) {}
    ~TBrushStyleScope() { FBrush.SetStyle(FStyle); }
    TBrushStyleScope(const TBrushStyleScope&) = delete;
    TBrushStyleScope& operator=(const TBrushStyleScope&) = delete;

private:
    TBrush& FBrush;
    TBrushStyle FStyle;
};

// A drawing that fails leaves the layered area unwritten and the blender ready for the next.
class TLayerScope {
public:
    TLayerScope(TAABlend& blend, bool active) : FBlend(blend), FActive(active) {}
    ~TLayerScope() {
        if (FActive) FBlend.AbandonLayers();
    }
    TLayerScope(const TLayerScope&) = delete;
    TLayerScope& operator=(const TLayerScope&) = delete;

private:
    TAABlend& FBlend;
    bool FActive;
};

} // namespace

TAAText::TAAText(TCanvas* canvas) {
    FBlend.SetCanvas(canvas);
}

TTextBox TAAText::MeasureText(const LOGFONTW& font, const std::wstring& text) {
    const int s = FMask.Scale();
    const SIZE size = FMask.ScaledExtent(font, text);

    int cx = CeilDiv(size.cx, s);
    const int cy = CeilDiv(size.cy, s);
    if (font.lfItalic && !text.empty())
        cx += ItalicWidening(cx, static_cast<int>(Narrow(text, CP_ACP).size()));
    if (font.lfEscapement != 0) return RotatedTextBox(cx, cy, font.lfEscapement);
    return TTextBox{cx, cy, 0, 0};
}

SIZE TAAText::TextExtent(const std::wstring& text) {
    if (!Canvas()) return SIZE{0, 0};
    const TTextBox box = MeasureText(Canvas()->Font().LogFont(), text);
    return SIZE{box.Width, box.Height};
}

void TAAText::BuildMask(const LOGFONTW& font, const std::wstring& text) {
    if (!Canvas()) return;
    FMask.Draw(font, text, MeasureText(font, text));
}

TAATextEx::TAATextEx(TCanvas* canvas) : TAAText(canvas) {}

LOGFONTW TAATextEx::EffectFont() const {
    // A turned copy of the font rather than a change of the canvas font, so the canvas keeps
    // its own font whatever happens while drawing.
    LOGFONTW font = Canvas()->Font().LogFont();
    if (FEffect.Angle() != 0) {
        font.lfEscapement = FEffect.Angle() * 10;
        font.lfOrientation = font.lfEscapement;
    }
    return font;
}

SIZE TAATextEx::TextExtent(const std::wstring& text) {
    if (!Canvas()) return SIZE{0, 0};
    const TTextBox box = MeasureText(EffectFont(), text);
    SIZE extent{box.Width, box.Height};
    if (FEffect.Shadow().Enabled()) {
        extent.cx += std::abs(FEffect.Shadow().OffsetX());
        extent.cy += std::abs(FEffect.Shadow().OffsetY());
    }
    return extent;
}

void TAATextEx::DrawEffectText(int x, int y, const std::wstring& text) {
    if (!Canvas() || text.empty()) return;
    const TAAShadow& shadow = FEffect.Shadow();

    // The shadow lies (OffsetX, OffsetY) from the text; both stay inside the measured extent.
    int textX = x, textY = y;
    if (shadow.Enabled()) {
        textX += std::max(-shadow.OffsetX(), 0);
        textY += std::max(-shadow.OffsetY(), 0);
    }

    BuildMask(EffectFont(), text);
    TMaskBuffer& mask = Mask().Buffer();
    // A text that covers no pixel (a tab, say) has no foreground bitmap to make.
    if (mask.Empty()) return;
    if (FEffect.Outline()) OutlineMask(mask);
    if (FEffect.Spray() > 0) SprayMask(mask, FEffect.Spray(), FRandom);
    if (FEffect.HorzMirror()) MirrorMaskHorizontally(mask);
    if (FEffect.VertMirror()) MirrorMaskVertically(mask);

    TBrushStyleScope brushStyle(Canvas()->Brush());
    // Shadow and text over what the canvas shows: its pixels are read once and written once.
    const bool layered = shadow.Enabled() && Canvas()->Brush().Style() == TBrushStyle::bsClear;
    TLayerScope layers(Blend(), layered);
    if (layered)
        Blend().BeginLayers(x, y, mask.Width() + std::abs(shadow.OffsetX()),
                            mask.Height() + std::abs(shadow.OffsetY()));
    if (shadow.Enabled()) {
        FShadowMask = mask;
        if (shadow.Blur() > 0) BlurMask(FShadowMask, shadow.Blur());
        Blend().BlendColor(x + std::max(shadow.OffsetX(), 0), y + std::max(shadow.OffsetY(), 0),
                           FShadowMask, FEffect.Alpha() * shadow.Alpha() / 100, shadow.Color());
        // Over the shadow, not over the brush colour.
        Canvas()->Brush().SetStyle(TBrushStyle::bsClear);
    }
    if (FEffect.Blur() > 0) BlurMask(mask, FEffect.Blur());
    BlendText(textX, textY, mask);
    if (layered) Blend().EndLayers();
}

void TAATextEx::BlendText(int x, int y, const TMaskBuffer& mask) {
    const TAATexture& texture = FEffect.Texture();
    const TAAGradual& gradual = FEffect.Gradual();
    const bool textured = texture.Enabled() && texture.Picture() && !texture.Picture()->Empty();
    const int noise = FEffect.Noise();
    const COLORREF fontColor = ResolveColor(Canvas()->Font().Color());
    if (!textured && !gradual.Enabled() && noise == 0) {
        Blend().BlendColor(x, y, mask, FEffect.Alpha(), fontColor);
        return;
    }

    TDibBitmap& fore = Blend().Foreground();
    fore.SetSize(mask.Width(), mask.Height());
    if (textured) {
        {
            TBitmapDc dc(fore.Handle());
            ScopedBrush fill(CreateSolidBrush(fontColor));
            const RECT all{0, 0, fore.Width(), fore.Height()};
            FillRect(dc.Get(), &all, fill.Get());
            const TJpegPicture& picture = *texture.Picture();
            for (const TPlacement& place :
                 TexturePlacements(texture.Mode(), fore.Width(), fore.Height(), picture.Width(),
                                   picture.Height()))
                picture.StretchDraw(dc.Get(), RECT{place.X, place.Y, place.X + place.Width,
                                                   place.Y + place.Height});
        }
        if (noise > 0) AddNoise(fore.Pixels(), noise, FRandom);
    } else if (gradual.Enabled()) {
        GradientFill(fore.Pixels(), gradual.Style(), ResolveColor(gradual.StartColor()),
                     ResolveColor(gradual.EndColor()));
        if (noise > 0) AddNoise(fore.Pixels(), noise, FRandom);
    } else {
        NoiseFill(fore.Pixels(), fontColor, noise, FRandom);
    }
    Blend().BlendBitmap(x, y, mask, FEffect.Alpha());
}
