// The engine on real GDI bitmaps: coverage at each quality, where text and shadow land, how
// they are blended onto the canvas, and that a failing drawing leaves the canvas as it was.
#include <gtest/gtest.h>

#include <memory>

#include "framework/JpegPicture.h"
#include "textfx/AAText.h"
#include "textfx/DibBitmap.h"

namespace {

// A 4 x 4 picture in pure blue.
const unsigned char kBlueJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xff, 0xc0,
    0x00, 0x11, 0x08, 0x00, 0x04, 0x00, 0x04, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xff, 0xc4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0a, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xc4, 0x00,
    0x15, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x08, 0x0a, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00, 0x0c, 0x03, 0x01,
    0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0x1c, 0xeb, 0xf8, 0x15, 0xdf, 0xff, 0xd9};

// A 24-bit bitmap with a canvas on it, filled with one colour.
class TBitmapCanvas {
public:
    TBitmapCanvas(int width, int height, COLORREF color) {
        FBitmap.SetSize(width, height);
        FDc = std::make_unique<TBitmapDc>(FBitmap.Handle());
        FCanvas = std::make_unique<TCanvas>(FDc->Get());
        Fill(color);
    }
    TCanvas& Canvas() { return *FCanvas; }
    void Fill(COLORREF color) {
        ScopedBrush brush(CreateSolidBrush(color));
        const RECT all{0, 0, FBitmap.Width(), FBitmap.Height()};
        FillRect(FDc->Get(), &all, brush.Get());
    }
    COLORREF At(int x, int y) const {
        const uint8_t* p = FBitmap.Pixels().Line(y) + 3 * x;
        return RGB(p[2], p[1], p[0]);
    }

private:
    TDibBitmap FBitmap;
    std::unique_ptr<TBitmapDc> FDc;
    std::unique_ptr<TCanvas> FCanvas;
};

int MaxCoverage(const TMaskBuffer& mask) {
    int most = 0;
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x)
            most = std::max<int>(most, mask.At(x, y));
    return most;
}

// Coverage of the mask at a canvas point, for a mask drawn at (left, top); 0 outside.
int CoverageAt(const TMaskBuffer& mask, int left, int top, int x, int y) {
    x -= left;
    y -= top;
    return x < 0 || y < 0 || x >= mask.Width() || y >= mask.Height() ? 0 : mask.At(x, y);
}

class AAText : public ::testing::Test {
protected:
    AAText() : FTarget(160, 90, RGB(0, 0, 0)), FEngine(&FTarget.Canvas()) {
        TFont& font = FTarget.Canvas().Font();
        font.SetName(L"Tahoma");
        font.SetHeight(40);
        font.SetStyle(fsBold);
        font.SetColor(RGB(255, 0, 0));
        FTarget.Canvas().Brush().SetStyle(TBrushStyle::bsClear);
    }
    const TMaskBuffer& Mask() { return FEngine.Mask().Buffer(); }

    TBitmapCanvas FTarget;
    TAATextEx FEngine;
};

} // namespace

TEST_F(AAText, CoverageOfFullyInkedPixelsAtEachQuality) {
    const std::pair<TAAQuality, int> cases[] = {
        {aqHigh, 255}, {aqNormal, 254}, {aqLow, 255}, {aqNone, 255}};
    for (const auto& [quality, most] : cases) {
        FEngine.Mask().SetQuality(quality);
        FEngine.DrawEffectText(0, 0, L"HI");
        EXPECT_EQ(MaxCoverage(Mask()), most) << "quality " << quality;
        const SIZE extent = FEngine.TextExtent(L"HI");
        EXPECT_EQ(Mask().Width(), extent.cx);
        EXPECT_EQ(Mask().Height(), extent.cy);
    }
}

TEST_F(AAText, RawRenderingWithoutAveraging) {
    FEngine.Mask().SetQuality(aqNone);
    FEngine.DrawEffectText(0, 0, L"Ag");
    // The same text rendered directly, white on black, without the platform's smoothing.
    TBitmapCanvas direct(Mask().Width(), Mask().Height(), RGB(0, 0, 0));
    LOGFONTW font = FTarget.Canvas().Font().LogFont();
    font.lfQuality = NONANTIALIASED_QUALITY;
    ScopedFont handle(CreateFontIndirectW(&font));
    {
        ScopedSelectObject select(direct.Canvas().Handle(), handle.Get());
        SetTextColor(direct.Canvas().Handle(), RGB(255, 255, 255));
        SetBkMode(direct.Canvas().Handle(), TRANSPARENT);
        TextOutW(direct.Canvas().Handle(), 0, 0, L"Ag", 2);
    }
    int differing = 0;
    for (int y = 0; y < Mask().Height(); ++y)
        for (int x = 0; x < Mask().Width(); ++x)
            differing += Mask().At(x, y) != GetGValue(direct.At(x, y));
    EXPECT_EQ(differing, 0);
}

TEST_F(AAText, AlphaWeightsTheFontColourOverTheCanvas) {
    FEngine.Mask().SetQuality(aqHigh);
    FEngine.DrawEffectText(10, 5, L"HI");
    int full = 0;
    for (int y = 0; y < Mask().Height(); ++y)
        for (int x = 0; x < Mask().Width(); ++x) {
            const int coverage = Mask().At(x, y);
            if (coverage == 255) {
                ++full;
                EXPECT_EQ(FTarget.At(10 + x, 5 + y), RGB(255, 0, 0));
            }
            if (coverage == 0) {
                EXPECT_EQ(FTarget.At(10 + x, 5 + y), RGB(0, 0, 0));
            }
        }
    EXPECT_GT(full, 0);
    EXPECT_EQ(FTarget.At(9, 4), RGB(0, 0, 0));

    FTarget.Fill(RGB(0, 0, 0));
    FEngine.Effect().SetAlpha(70);
    FEngine.DrawEffectText(10, 5, L"HI");
    for (int y = 0; y < Mask().Height(); ++y)
        for (int x = 0; x < Mask().Width(); ++x)
            if (Mask().At(x, y) == 255) {
                EXPECT_EQ(FTarget.At(10 + x, 5 + y), RGB(177, 0, 0));
            }
}

TEST_F(AAText, ShadowLiesAtItsOffsetsWithItsOwnAlpha) {
    TAAShadow& shadow = FEngine.Effect().Shadow();
    const SIZE plain = FEngine.TextExtent(L"HI");
    shadow.SetEnabled(true);
    shadow.SetBlur(0);
    shadow.SetColor(RGB(255, 255, 255));
    const SIZE withShadow = FEngine.TextExtent(L"HI");
    EXPECT_EQ(withShadow.cx, plain.cx + 2);
    EXPECT_EQ(withShadow.cy, plain.cy + 2);

    // A black text over a black canvas shows only the white shadow where the text is not.
    FTarget.Canvas().Font().SetColor(RGB(0, 0, 0));
    FEngine.Mask().SetQuality(aqHigh);
    FEngine.DrawEffectText(10, 5, L"HI");
    int checked = 0;
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 160; ++x) {
            const int text = CoverageAt(Mask(), 10, 5, x, y),
                      cast = CoverageAt(Mask(), 12, 7, x, y);
            if (text != 0) continue;
            if (cast == 255) {
                ++checked;
                EXPECT_EQ(FTarget.At(x, y), RGB(177, 177, 177)) << x << "," << y;
            }
            if (cast == 0) {
                EXPECT_EQ(FTarget.At(x, y), RGB(0, 0, 0)) << x << "," << y;
            }
        }
    EXPECT_GT(checked, 0);
}

TEST_F(AAText, ShadowBlursItsOwnCopyAndTheTextBlurComesAfter) {
    FEngine.Mask().SetQuality(aqHigh);
    FTarget.Canvas().Font().SetColor(RGB(0, 0, 0));
    FEngine.DrawEffectText(10, 5, L"HI");
    const TMaskBuffer plain = Mask();

    TAAShadow& shadow = FEngine.Effect().Shadow();
    shadow.SetEnabled(true);
    shadow.SetBlur(100);
    shadow.SetColor(RGB(255, 255, 255));
    FEngine.Effect().SetBlur(50);
    FTarget.Fill(RGB(0, 0, 0));
    FEngine.DrawEffectText(10, 5, L"HI");

    TMaskBuffer text = plain, cast = plain;
    BlurMask(text, 50);
    BlurMask(cast, 100);
    EXPECT_EQ(Mask().Bytes(), text.Bytes());
    // Where the black text leaves it alone, the white shadow shows its own blur at alpha 70.
    int checked = 0;
    for (int y = 0; y < cast.Height(); ++y)
        for (int x = 0; x < cast.Width(); ++x) {
            if (CoverageAt(text, 10, 5, 12 + x, 7 + y) != 0) continue;
            const int weight = cast.At(x, y) * (70 * 256 / 100) / 256;
            const int grey = weight == 255 ? 255 : (255 * weight) >> 8;
            EXPECT_EQ(FTarget.At(12 + x, 7 + y), RGB(grey, grey, grey)) << x << "," << y;
            checked += grey > 0;
        }
    EXPECT_GT(checked, 0);
}

TEST_F(AAText, NegativeOffsetMovesTheTextAndKeepsTheShadowAtX) {
    TAAShadow& shadow = FEngine.Effect().Shadow();
    shadow.SetEnabled(true);
    shadow.SetBlur(0);
    shadow.SetAlpha(100);
    shadow.SetColor(RGB(255, 255, 255));
    shadow.SetOffsetX(-3);
    shadow.SetOffsetY(0);
    const int width = FEngine.TextWidth(L"I");
    shadow.SetEnabled(false);
    EXPECT_EQ(width, FEngine.TextWidth(L"I") + 3);
    shadow.SetEnabled(true);
    FEngine.Mask().SetQuality(aqHigh);
    FEngine.DrawEffectText(10, 5, L"I");
    int text = 0, cast = 0;
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 160; ++x) {
            if (CoverageAt(Mask(), 13, 5, x, y) == 255) {
                ++text;
                EXPECT_EQ(FTarget.At(x, y), RGB(255, 0, 0));
            } else if (CoverageAt(Mask(), 13, 5, x, y) == 0 &&
                       CoverageAt(Mask(), 10, 5, x, y) == 255) {
                ++cast;
                EXPECT_EQ(FTarget.At(x, y), RGB(255, 255, 255));
            }
        }
    EXPECT_GT(text, 0);
    EXPECT_GT(cast, 0);
}

TEST_F(AAText, SolidBrushIsTheBackgroundAndTheBrushStyleIsKept) {
    TBrush& brush = FTarget.Canvas().Brush();
    brush.SetStyle(TBrushStyle::bsSolid);
    brush.SetColor(RGB(0, 0, 255));
    FEngine.Effect().Shadow().SetEnabled(true);
    FEngine.DrawEffectText(10, 5, L"HI");
    EXPECT_EQ(brush.Style(), TBrushStyle::bsSolid);
    // The shadow's rectangle is filled with the brush colour, the text is blended over it.
    const int bottom = 7 + Mask().Height() - 1;
    EXPECT_EQ(FTarget.At(12, bottom), RGB(0, 0, 255));
    EXPECT_EQ(FTarget.At(11, bottom), RGB(0, 0, 0));
    EXPECT_EQ(FTarget.At(12, bottom + 1), RGB(0, 0, 0));

    // A drawing that fails half way still puts the brush style back.
    FEngine.Effect().SetSpray(2);
    FEngine.Effect().SetAngle(45);
    FEngine.SetRandom([](int) -> int { throw std::runtime_error("no numbers"); });
    EXPECT_THROW(FEngine.DrawEffectText(10, 5, L"HI"), std::runtime_error);
    EXPECT_EQ(brush.Style(), TBrushStyle::bsSolid);
    EXPECT_EQ(FTarget.Canvas().Font().LogFont().lfEscapement, 0);
    FEngine.SetRandom(DefaultRandom());
    EXPECT_NO_THROW(FEngine.DrawEffectText(10, 5, L"HI"));
}

TEST_F(AAText, ForegroundsReplaceTheFontColourOnlyWhenEnabled) {
    FEngine.Mask().SetQuality(aqHigh);
    TAAGradual& gradual = FEngine.Effect().Gradual();
    gradual.SetStyle(gsTopToBottom);
    gradual.SetStartColor(RGB(0, 255, 0));
    gradual.SetEndColor(RGB(0, 0, 255));
    FEngine.DrawEffectText(0, 0, L"I");
    auto fullyCovered = [&](auto check) {
        int n = 0;
        for (int y = 0; y < Mask().Height(); ++y)
            for (int x = 0; x < Mask().Width(); ++x)
                if (Mask().At(x, y) == 255) {
                    ++n;
                    check(x, y);
                }
        EXPECT_GT(n, 0);
    };
    fullyCovered([&](int x, int y) { EXPECT_EQ(FTarget.At(x, y), RGB(255, 0, 0)); });

    gradual.SetEnabled(true);
    FEngine.DrawEffectText(0, 0, L"I");
    const int height = Mask().Height();
    fullyCovered([&](int x, int y) {
        EXPECT_EQ(FTarget.At(x, y), RGB(0, 255 - 255 * y / height, 255 * y / height))
            << x << "," << y;
    });

    auto picture = std::make_shared<TJpegPicture>();
    picture->LoadFromMemory(kBlueJpeg, sizeof kBlueJpeg);
    FEngine.Effect().Texture().SetPicture(picture);
    FEngine.Effect().Texture().SetMode(tmStretched);
    FEngine.Effect().Texture().SetEnabled(true);
    FEngine.DrawEffectText(0, 0, L"I");
    fullyCovered([&](int x, int y) {
        const COLORREF c = FTarget.At(x, y);
        EXPECT_LT(GetRValue(c), 16);
        EXPECT_LT(GetGValue(c), 16);
        EXPECT_GT(GetBValue(c), 240);
    });

    // Noise alone starts from the font colour: every channel moves by the number drawn less
    // half the amplitude (19 - 10 here), clamped.
    FEngine.Effect().Texture().SetEnabled(false);
    gradual.SetEnabled(false);
    FEngine.Effect().SetNoise(20);
    FEngine.SetRandom([](int range) { return range - 1; });
    FEngine.DrawEffectText(0, 0, L"I");
    fullyCovered([&](int x, int y) { EXPECT_EQ(FTarget.At(x, y), RGB(255, 9, 9)); });
}

TEST_F(AAText, RotatedTextsTurnTheirBox) {
    const std::wstring text = L"HHHH";
    const SIZE plain = FEngine.TextExtent(text);
    for (int angle : {90, 45}) {
        FEngine.Effect().SetAngle(angle);
        const TTextBox box = RotatedTextBox(plain.cx, plain.cy, angle * 10);
        const SIZE extent = FEngine.TextExtent(text);
        EXPECT_EQ(extent.cx, box.Width) << angle;
        EXPECT_EQ(extent.cy, box.Height) << angle;
        FEngine.DrawEffectText(0, 0, text);
        int left = extent.cx, right = -1, top = extent.cy, bottom = -1;
        for (int y = 0; y < Mask().Height(); ++y)
            for (int x = 0; x < Mask().Width(); ++x)
                if (Mask().At(x, y) > 128) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        ASSERT_GE(right, 0) << angle;
        if (angle == 90) {
            // Upright: the text runs up from the bottom-left corner.
            EXPECT_GT(bottom - top, 2 * (right - left));
            EXPECT_GT(bottom, extent.cy * 3 / 4);
        } else {
            EXPECT_GT(right - left, extent.cx / 2);
            EXPECT_GT(bottom - top, extent.cy / 2);
        }
    }
}

TEST(AABlend, ForegroundMustMatchTheMask) {
    TBitmapCanvas target(20, 20, RGB(0, 0, 0));
    TAABlend blend;
    blend.SetCanvas(&target.Canvas());
    TMaskBuffer mask(4, 3);
    blend.Foreground().SetSize(4, 2);
    EXPECT_THROW(blend.BlendBitmap(0, 0, mask, 100), EInvalidForeBmp);
    blend.Foreground().SetSize(4, 3);
    EXPECT_NO_THROW(blend.BlendBitmap(0, 0, mask, 100));
}

TEST(AATextEx, NothingWithoutCanvasOrText) {
    TAATextEx engine;
    EXPECT_EQ(engine.TextWidth(L"HI"), 0);
    EXPECT_NO_THROW(engine.DrawEffectText(0, 0, L"HI"));
    TBitmapCanvas target(20, 20, RGB(1, 2, 3));
    engine.SetCanvas(&target.Canvas());
    engine.DrawEffectText(0, 0, L"");
    EXPECT_EQ(target.At(0, 0), RGB(1, 2, 3));
}

TEST(AAMask, GreyPaletteAndAssignment) {
    PALETTEENTRY entries[256] = {};
    ASSERT_EQ(GetPaletteEntries(GreyPalette(), 0, 256, entries), 256u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(entries[i].peRed, i);
        EXPECT_EQ(entries[i].peGreen, i);
        EXPECT_EQ(entries[i].peBlue, i);
    }

    TAAMask source, copy;
    source.SetQuality(aqHigh);
    source.Buffer().SetSize(3, 2);
    source.Line(1)[2] = 9;
    copy.Assign(source);
    EXPECT_EQ(copy.Scale(), 4);
    EXPECT_EQ(copy.Width(), 3);
    EXPECT_EQ(copy.Line(1)[2], 9);
    EXPECT_THROW(copy.Line(2), EInvalidLine);
}

TEST(AATextEx, TextOfNoWidthDrawsNothingWhateverTheForeground) {
    TBitmapCanvas target(20, 20, RGB(1, 2, 3));
    target.Canvas().Font().SetName(L"Tahoma");
    target.Canvas().Font().SetHeight(20);
    target.Canvas().Brush().SetStyle(TBrushStyle::bsClear);
    TAATextEx engine(&target.Canvas());
    // A tab measures 0 pixels wide: the mask is empty and there is no foreground to make.
    ASSERT_EQ(engine.TextWidth(L"\t"), 0);
    engine.Effect().Shadow().SetEnabled(true);
    engine.Effect().Gradual().SetEnabled(true);
    EXPECT_NO_THROW(engine.DrawEffectText(2, 2, L"\t"));
    engine.Effect().Gradual().SetEnabled(false);
    engine.Effect().SetNoise(5);
    EXPECT_NO_THROW(engine.DrawEffectText(2, 2, L"\t"));
    EXPECT_EQ(target.At(2, 2), RGB(1, 2, 3));
}
