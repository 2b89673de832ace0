#pragma once
// The text engine's drawing of a main-window label as it was before the blur by running sums,
// the kept work DC and the kernels' inner loops were reworked: kept here only so the benchmark
// can time before and after in one run and check that both give the same bytes.
#include <windows.h>

#include <string>

#include "framework/Canvas.h"
#include "framework/Scoped.h"
#include "textfx/DibBitmap.h"
#include "textfx/PixelBuffers.h"
#include "textfx/TextGeometry.h"

class TEngineBefore {
public:
    TEngineBefore() = default;
    ~TEngineBefore();
    TEngineBefore(const TEngineBefore&) = delete;
    TEngineBefore& operator=(const TEngineBefore&) = delete;

    // Draws `text` in the canvas font at scale 3 with an outline and a black shadow blurred by
    // 100 at (2, 2), alpha 70, over what the canvas shows; `box` is the engine's measure of it.
    void DrawLabel(TCanvas& canvas, int x, int y, const std::wstring& text, const TTextBox& box);

private:
    void Render(const LOGFONTW& font, const std::wstring& text, const TTextBox& box);

    TMaskBuffer FMask;
    ScopedMemoryDc FDc;
    HGDIOBJ FOriginalFont = nullptr;
    HGDIOBJ FOriginalBitmap = nullptr;
    ScopedFont FFont;
    LOGFONTW FFontKey{};
    ScopedBitmap FRendering;
    uint8_t* FRenderingBits = nullptr;
    int FRenderingWidth = 0;
    int FRenderingHeight = 0;
    TDibBitmap FWork;
};
