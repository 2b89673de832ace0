#pragma once
// The text engine: measures and draws a text anti-aliased on a canvas through a coverage mask;
// TAATextEx adds the effects of a TAAEffect.
#include <windows.h>

#include <string>

#include "framework/Canvas.h"
#include "textfx/AABlend.h"
#include "textfx/AAEffect.h"
#include "textfx/AAMask.h"
#include "textfx/TextGeometry.h"

class TAAText {
public:
    // The canvas may be none; nothing is measured or drawn until one is set.
    explicit TAAText(TCanvas* canvas = nullptr);
    virtual ~TAAText() = default;
    TAAText(const TAAText&) = delete;
    TAAText& operator=(const TAAText&) = delete;

    // The blender draws on the engine's canvas, so it is the one place that keeps it.
    TCanvas* Canvas() const { return FBlend.Canvas(); }
    void SetCanvas(TCanvas* canvas) { FBlend.SetCanvas(canvas); }
    TAAMask& Mask() { return FMask; }
    TAABlend& Blend() { return FBlend; }

    // The width and height in pixels the drawn text covers.
    virtual SIZE TextExtent(const std::wstring& text);
    virtual int TextHeight(const std::wstring& text) { return TextExtent(text).cy; }
    virtual int TextWidth(const std::wstring& text) { return TextExtent(text).cx; }

protected:
    // The box of a text in a font (rotated by its escapement), at the mask's scale.
    TTextBox MeasureText(const LOGFONTW& font, const std::wstring& text);
    // Measures and renders the text into the mask.
    void BuildMask(const LOGFONTW& font, const std::wstring& text);

private:
    TAAMask FMask;
    TAABlend FBlend;
};

class TAATextEx : public TAAText {
public:
    explicit TAATextEx(TCanvas* canvas = nullptr);
    TAAEffect& Effect() { return FEffect; }

    // With the shadow's offsets when the shadow is on.
    SIZE TextExtent(const std::wstring& text) override;
    // Draws the text with every effect so that its box (shadow included) starts at (x, y).
    void DrawEffectText(int x, int y, const std::wstring& text);

    // The generator of spray and noise; tests replay it.
    void SetRandom(TRandom random) { FRandom = std::move(random); }

private:
    // The canvas font, turned by the effect's angle.
    LOGFONTW EffectFont() const;
    void BlendText(int x, int y, const TMaskBuffer& mask);

    TAAEffect FEffect;
    TRandom FRandom = DefaultRandom();
    // Room for the shadow's copy of the mask, rewritten at every drawing: its storage is kept.
    TMaskBuffer FShadowMask;
};
