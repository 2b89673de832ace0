// The engine's drawings stay byte for byte what they were when these fingerprints were taken,
// however the engine is made faster.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "textfx/AAText.h"
#include "textfx/DibBitmap.h"

namespace {

struct TFontCase {
    const wchar_t* Name;
    int Height;
    BYTE Charset;
    unsigned Style;
};

void ApplyEffect(int kind, TAATextEx& engine) {
    TAAEffect& e = engine.Effect();
    switch (kind) {
    case 0: // plain
        break;
    case 1: // the main window's labels
        e.Shadow().SetEnabled(true);
        e.Shadow().SetBlur(100);
        e.Shadow().SetColor(0);
        e.SetOutline(true);
        break;
    case 2: // a shadow up and to the right, a blurred half-transparent text
        e.Shadow().SetEnabled(true);
        e.Shadow().SetOffsetX(-3);
        e.Shadow().SetOffsetY(5);
        e.Shadow().SetAlpha(50);
        e.SetBlur(30);
        e.SetAlpha(80);
        engine.Mask().SetQuality(aqHigh);
        break;
    case 3: // turned, with a gradient, at low quality
        e.SetAngle(30);
        e.Gradual().SetEnabled(true);
        e.Gradual().SetStyle(gsCenterToLR);
        e.Gradual().SetEndColor(0x0000FF);
        e.SetVertMirror(true);
        engine.Mask().SetQuality(aqLow);
        break;
    }
}

uint64_t Fingerprint(const TColorPixels& pixels) {
    uint64_t h = 1469598103934665603ull;
    for (int y = 0; y < pixels.Height; ++y) {
        const uint8_t* row = pixels.Line(y);
        for (int i = 0; i < pixels.Width * 3; ++i)
            h = (h ^ row[i]) * 1099511628211ull;
    }
    return h;
}

// Every text drawn twice by one engine, as a label repaints, over a background with detail.
uint64_t Draw(const TFontCase& font, int effect, bool solidBrush) {
    TDibBitmap bitmap;
    bitmap.SetSize(260, 140);
    const TColorPixels pixels = bitmap.Pixels();
    for (int y = 0; y < pixels.Height; ++y)
        for (int x = 0; x < pixels.Width * 3; ++x)
            pixels.Line(y)[x] = static_cast<uint8_t>(x * 7 + y * 13);
    TBitmapDc dc(bitmap.Handle());
    TCanvas canvas(dc.Get());
    canvas.Font().SetName(font.Name);
    canvas.Font().SetHeight(font.Height);
    canvas.Font().SetCharset(font.Charset);
    canvas.Font().SetStyle(font.Style);
    canvas.Font().SetColor(RGB(0, 255, 0));
    canvas.Brush().SetColor(RGB(30, 40, 50));
    canvas.Brush().SetStyle(solidBrush ? TBrushStyle::bsSolid : TBrushStyle::bsClear);
    TAATextEx engine(&canvas);
    ApplyEffect(effect, engine);
    int y = 2;
    for (const wchar_t* text : {L"×内网", L"√外网", L"Ag 1", L"×内网"}) {
        const SIZE extent = engine.TextExtent(text);
        engine.DrawEffectText(3 + y % 7, y, text);
        y += extent.cy / 2 + 3;
    }
    return Fingerprint(bitmap.Pixels());
}

const TFontCase kFonts[] = {
    {L"黑体", 37, GB2312_CHARSET, 0},
    {L"Tahoma", 11, DEFAULT_CHARSET, fsBold | fsItalic},
    {L"宋体", 16, GB2312_CHARSET, fsUnderline},
};

// Taken from the engine as it drew before it kept anything between drawings.
const uint64_t kExpected[3][4][2] = {
#include "EngineOutput.inc"
};

} // namespace

TEST(EngineOutput, StaysByteForByteTheSame) {
    std::string table;
    for (int f = 0; f < 3; ++f)
        for (int e = 0; e < 4; ++e)
            for (int b = 0; b < 2; ++b) {
                const uint64_t h = Draw(kFonts[f], e, b == 1);
                char line[64];
                std::snprintf(line, sizeof line, "0x%016llxull,",
                              static_cast<unsigned long long>(h));
                table += line;
                EXPECT_EQ(h, kExpected[f][e][b])
                    << "font " << f << ", effect " << e << ", brush " << b;
            }
    if (HasFailure()) std::printf("%s\n", table.c_str());
}
