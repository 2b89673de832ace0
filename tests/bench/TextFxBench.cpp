// Times the text engine's pixel kernels on the main window's label size and on a large mask;
// the Windows build also times a main-window label's paint against a plain TextOutW.
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <functional>
#include <vector>

#include "textfx/PixelKernels.h"

#ifdef _WIN32
#include <windows.h>

#include "framework/Canvas.h"
#include "textfx/AAText.h"
#include "textfx/DibBitmap.h"
#endif

namespace {

// Microseconds per call, over enough calls to take about a fifth of a second.
double Time(const std::function<void()>& work) {
    using Clock = std::chrono::steady_clock;
    work();
    int calls = 0;
    const auto start = Clock::now();
    auto now = start;
    do {
        work();
        ++calls;
        now = Clock::now();
    } while (now - start < std::chrono::milliseconds(200));
    return std::chrono::duration<double, std::micro>(now - start).count() / calls;
}

void TimeKernels(int width, int height) {
    const int s = 3;
    const int renderStride = PaddedStride(width * s);
    std::vector<uint8_t> rendering(static_cast<size_t>(renderStride) * height * s);
    for (size_t i = 0; i < rendering.size(); ++i)
        rendering[i] = (i * 7919 % 13 < 5) ? 255 : 0;
    TMaskBuffer text(width, height);
    ReduceMask(rendering.data(), renderStride, s, text);
    TColorBuffer work(width, height), fore(width, height);
    work.Fill(0x336699);
    fore.Fill(0x00FF00);

    std::printf("mask %d x %d (rendered at scale %d)\n", width, height, s);
    auto row = [](const char* name, double us) { std::printf("  %-22s %10.1f us\n", name, us); };
    row("reduce (scale 3)", Time([&] { ReduceMask(rendering.data(), renderStride, s, text); }));
    TMaskBuffer mask = text;
    row("outline", Time([&] {
            mask = text;
            OutlineMask(mask);
        }));
    row("copy of the mask", Time([&] { mask = text; }));
    row("spray 3", Time([&] { SprayMask(mask, 3, DefaultRandom()); }));
    row("mirror horizontally", Time([&] { MirrorMaskHorizontally(mask); }));
    row("mirror vertically", Time([&] { MirrorMaskVertically(mask); }));
    row("blur 100", Time([&] {
            mask = text;
            BlurMask(mask, 100);
        }));
    row("blur 80", Time([&] {
            mask = text;
            BlurMask(mask, 80);
        }));
    row("blend colour", Time([&] { BlendColor(work.Pixels(), text, 100, 0x00FF00); }));
    row("blend colour alpha 70", Time([&] { BlendColor(work.Pixels(), text, 70, 0); }));
    row("blend bitmap", Time([&] { BlendBitmap(work.Pixels(), text, 100, fore.Pixels()); }));
    row("gradient", Time([&] { GradientFill(fore.Pixels(), gsCenterToLR, 0xFFFFFF, 0x00FF00); }));
    row("noise fill", Time([&] { NoiseFill(fore.Pixels(), 0x00FF00, 40, DefaultRandom()); }));
    row("noise over", Time([&] { AddNoise(fore.Pixels(), 40, DefaultRandom()); }));
}

#ifdef _WIN32
// Medians of many single calls, in microseconds: a label repaint is one call, not a loop.
double Median(const std::function<void()>& work, int runs = 301) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    work();
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[runs / 2];
}

// One main-window label painted as at the given DPI: the font scales, the effect does not.
void TimeLabelPaint(int dpi) {
    TDibBitmap bitmap;
    bitmap.SetSize(300, 120);
    TBitmapDc dc(bitmap.Handle());
    TCanvas canvas(dc.Get());
    canvas.Font().SetName(L"黑体");
    canvas.Font().SetHeight(MulDiv(37, dpi, 96));
    canvas.Font().SetCharset(GB2312_CHARSET);
    canvas.Font().SetColor(RGB(0, 255, 0));
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    TAATextEx engine(&canvas);
    engine.Effect().Shadow().SetEnabled(true);
    engine.Effect().Shadow().SetBlur(100);
    engine.Effect().Shadow().SetColor(0);
    engine.Effect().SetOutline(true);

    const std::wstring text = L"×内网";
    const SIZE extent = engine.TextExtent(text);
    // What a transparent label does at every paint: measure, then draw.
    const double effect = Median([&] {
        engine.TextExtent(text);
        engine.DrawEffectText(4, 4, text);
        GdiFlush();
    });
    const double plain = Median([&] {
        canvas.TextOut(4, 4, text);
        GdiFlush();
    });
    std::printf(
        "label paint at %d DPI (\"×内网\" 黑体 %d px, shadow blur 100, outline, %ld x %ld): "
        "%.1f us median; TextOutW of the same text %.1f us; ratio %.1f\n",
        dpi, MulDiv(37, dpi, 96), extent.cx, extent.cy, effect, plain, effect / plain);
}

// The engine's protected steps, so a paint can be timed step by step.
class TSteppedText : public TAATextEx {
public:
    using TAAText::BuildMask;
    using TAAText::MeasureText;
    using TAATextEx::TAATextEx;
};

// Where one label paint's time goes: the steps of a shadowed, outlined drawing timed one by
// one with the performance counter, medians of many paints.
void ProfileLabelPaint(int dpi) {
    TDibBitmap bitmap;
    bitmap.SetSize(300, 120);
    TBitmapDc dc(bitmap.Handle());
    TCanvas canvas(dc.Get());
    canvas.Font().SetName(L"黑体");
    canvas.Font().SetHeight(MulDiv(37, dpi, 96));
    canvas.Font().SetCharset(GB2312_CHARSET);
    canvas.Font().SetColor(RGB(0, 255, 0));
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    TSteppedText engine(&canvas);
    engine.Effect().Shadow().SetEnabled(true);
    engine.Effect().Shadow().SetBlur(100);
    engine.Effect().Shadow().SetColor(0);
    engine.Effect().SetOutline(true);
    const std::wstring text = L"×内网";
    const LOGFONTW font = canvas.Font().LogFont();

    const char* names[] = {
        "measure (TextExtent)", "box (MeasureText)", "render + reduce", "outline",
        "shadow copy + blur",   "read canvas",       "blend shadow",    "blend text",
        "write canvas"};
    constexpr int steps = sizeof names / sizeof names[0];
    std::vector<std::vector<double>> times(steps);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int run = 0; run < 301; ++run) {
        LARGE_INTEGER marks[steps + 1];
        int at = 0;
        auto mark = [&] {
            GdiFlush();
            QueryPerformanceCounter(&marks[at++]);
        };
        mark();
        engine.TextExtent(text);
        mark();
        const TTextBox box = engine.MeasureText(font, text);
        mark();
        engine.Mask().Draw(font, text, box);
        mark();
        TMaskBuffer& mask = engine.Mask().Buffer();
        OutlineMask(mask);
        mark();
        TMaskBuffer shadow = mask;
        BlurMask(shadow, 100);
        mark();
        engine.Blend().BeginLayers(4, 4, mask.Width() + 2, mask.Height() + 2);
        mark();
        engine.Blend().BlendColor(6, 6, shadow, 70, 0);
        mark();
        engine.Blend().BlendColor(4, 4, mask, 100, RGB(0, 255, 0));
        mark();
        engine.Blend().EndLayers();
        mark();
        if (run == 0) continue;
        for (int i = 0; i < steps; ++i)
            times[i].push_back(static_cast<double>(marks[i + 1].QuadPart - marks[i].QuadPart) *
                               1e6 / static_cast<double>(frequency.QuadPart));
    }
    std::printf("where a label paint's time goes at %d DPI (medians):\n", dpi);
    for (int i = 0; i < steps; ++i) {
        auto& t = times[i];
        std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
        std::printf("  %-22s %8.1f us\n", names[i], t[t.size() / 2]);
    }
}
#endif

} // namespace

int main() {
#ifdef _WIN32
    SetConsoleOutputCP(CP_UTF8);
#endif
    TimeKernels(113, 39);
    TimeKernels(1000, 200);
#ifdef _WIN32
    ProfileLabelPaint(96);
    ProfileLabelPaint(144);
    TimeLabelPaint(96);
    TimeLabelPaint(144);
#endif
    return 0;
}
