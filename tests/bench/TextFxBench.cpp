// Times the text engine's pixel kernels on the main window's label size and on a large mask;
// the Windows build also times a main-window label's paint and the WM_PAINT of its rectangle,
// before and after the engine and the form's paint were made faster, against a plain TextOutW.
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <functional>
#include <vector>

#include "textfx/PixelKernels.h"

#ifdef _WIN32
#include <windows.h>

#include "EngineBefore.h"
#include "framework/Canvas.h"
#include "framework/Dib.h"
#include "framework/Form.h"
#include "framework/Image.h"
#include "textfx/AAText.h"
#include "textfx/DibBitmap.h"
#include "widgets/AALabel.h"
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

// The engine's protected steps, so a paint can be timed step by step.
class TSteppedText : public TAATextEx {
public:
    using TAAText::BuildMask;
    using TAAText::MeasureText;
    using TAATextEx::TAATextEx;
};

const std::wstring kCaption = L"×内网";

// The main window's label look at a DPI: the font scales, the effect does not.
void StyleCanvas(TCanvas& canvas, int dpi) {
    canvas.Font().SetName(L"黑体");
    canvas.Font().SetHeight(MulDiv(37, dpi, 96));
    canvas.Font().SetCharset(GB2312_CHARSET);
    canvas.Font().SetColor(RGB(0, 255, 0));
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
}

void StyleEffect(TAAEffect& effect) {
    effect.Shadow().SetEnabled(true);
    effect.Shadow().SetBlur(100);
    effect.Shadow().SetColor(0);
    effect.SetOutline(true);
}

// A background with detail, so both drawings blend over something.
void FillScene(TDibBitmap& bitmap) {
    bitmap.SetSize(300, 120);
    const TColorPixels pixels = bitmap.Pixels();
    for (int y = 0; y < pixels.Height; ++y)
        for (int x = 0; x < pixels.Width * 3; ++x)
            pixels.Line(y)[x] = static_cast<uint8_t>(x * 7 + y * 13);
}

bool SameBytes(const TColorPixels& a, const TColorPixels& b) {
    for (int y = 0; y < a.Height; ++y)
        if (!std::equal(a.Line(y), a.Line(y) + 3 * a.Width, b.Line(y))) return false;
    return true;
}

// Where one label paint's time goes: the steps of a shadowed, outlined drawing timed one by
// one with the performance counter, medians of many paints.
void ProfileLabelPaint(int dpi) {
    TDibBitmap bitmap;
    FillScene(bitmap);
    TBitmapDc dc(bitmap.Handle());
    TCanvas canvas(dc.Get());
    StyleCanvas(canvas, dpi);
    TSteppedText engine(&canvas);
    StyleEffect(engine.Effect());
    const LOGFONTW font = canvas.Font().LogFont();

    const char* names[] = {
        "measure (TextExtent)", "box (MeasureText)", "render + reduce", "outline",
        "shadow copy + blur",   "read canvas",       "blend shadow",    "blend text",
        "write canvas"};
    constexpr int steps = sizeof names / sizeof names[0];
    std::vector<std::vector<double>> times(steps);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    TMaskBuffer shadow;
    for (int run = 0; run < 301; ++run) {
        LARGE_INTEGER marks[steps + 1];
        int at = 0;
        auto mark = [&] {
            GdiFlush();
            QueryPerformanceCounter(&marks[at++]);
        };
        mark();
        engine.TextExtent(kCaption);
        mark();
        const TTextBox box = engine.MeasureText(font, kCaption);
        mark();
        engine.Mask().Draw(font, kCaption, box);
        mark();
        TMaskBuffer& mask = engine.Mask().Buffer();
        OutlineMask(mask);
        mark();
        shadow = mask;
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
    std::printf("where one label paint's time goes at %d DPI (medians):\n", dpi);
    for (int i = 0; i < steps; ++i) {
        auto& t = times[i];
        std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
        std::printf("  %-22s %8.1f us\n", names[i], t[t.size() / 2]);
    }
}

// One main-window label's own paint as a transparent label does it (measure, then draw), the
// engine before and after in the same run, beside TextOutW of the same text.
void TimeLabelPaint(int dpi, double goal) {
    TDibBitmap afterScene, beforeScene;
    FillScene(afterScene);
    FillScene(beforeScene);
    TBitmapDc afterDc(afterScene.Handle()), beforeDc(beforeScene.Handle());
    TCanvas after(afterDc.Get()), before(beforeDc.Get());
    StyleCanvas(after, dpi);
    StyleCanvas(before, dpi);
    TSteppedText engine(&after), measure(&before);
    StyleEffect(engine.Effect());
    StyleEffect(measure.Effect());
    TEngineBefore old;

    const SIZE extent = engine.TextExtent(kCaption);
    engine.DrawEffectText(4, 4, kCaption);
    old.DrawLabel(before, 4, 4, kCaption, measure.MeasureText(before.Font().LogFont(), kCaption));
    const bool same = SameBytes(afterScene.Pixels(), beforeScene.Pixels());

    const double afterUs = Median([&] {
        engine.TextExtent(kCaption);
        engine.DrawEffectText(4, 4, kCaption);
        GdiFlush();
    });
    const double beforeUs = Median([&] {
        measure.TextExtent(kCaption);
        old.DrawLabel(before, 4, 4, kCaption,
                      measure.MeasureText(before.Font().LogFont(), kCaption));
        GdiFlush();
    });
    const double plain = Median([&] {
        after.TextOut(4, 4, kCaption);
        GdiFlush();
    });
    std::printf("one label's own paint at %d DPI (\"×内网\" 黑体 %d px, shadow blur 100, "
                "outline, %ld x %ld):\n"
                "  after %.1f us, before %.1f us (same bytes: %s); TextOutW %.1f us; "
                "after / TextOutW %.1f; goal <= %.0f us %s\n",
                dpi, MulDiv(37, dpi, 96), extent.cx, extent.cy, afterUs, beforeUs,
                same ? "yes" : "NO", plain, afterUs / plain, goal,
                afterUs <= goal ? "met" : "NOT met");
}

// A plain TextOutW in the main window's font: the yardstick of a whole WM_PAINT.
class TPlainText : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    TFont Font;
    void Paint(TCanvas& canvas) override {
        canvas.Font().Assign(Font);
        canvas.Brush().SetStyle(TBrushStyle::bsClear);
        canvas.TextOut(0, 0, kCaption);
    }
};

// The main window's picture and one of its labels at a DPI. It can also paint the way forms
// did before: the whole client area at every WM_PAINT, the picture resized at each, the
// engine's drawing before.
class TBenchForm : public TForm {
public:
    TBenchForm(TComponent* owner, int dpi) : TForm(owner) {
        Image = Own<TImage>(this);
        const int width = MulDiv(400, dpi, 96), height = MulDiv(240, dpi, 96);
        Image->SetStretch(dpi != 96);
        Image->SetBounds(0, 0, dpi != 96 ? width : 399, dpi != 96 ? height : 239);
        Image->Picture().LoadFromResource(L"BACKGROUND");
        Label = Own<TAALabel>(this);
        Label->SetBounds(MulDiv(85, dpi, 96), MulDiv(100, dpi, 96), 46, 12);
        Label->SetCaption(kCaption);
        Label->Font().SetName(L"黑体");
        Label->Font().SetCharset(GB2312_CHARSET);
        Label->Font().SetHeight(MulDiv(37, dpi, 96));
        Label->Font().SetColor(RGB(0, 255, 0));
        Label->Effect().SetTransparent(true);
        StyleEffect(Label->Effect().FontEffect());
        Plain = Own<TPlainText>(this);
        Plain->SetBounds(MulDiv(220, dpi, 96), MulDiv(100, dpi, 96), MulDiv(110, dpi, 96),
                         MulDiv(40, dpi, 96));
        Plain->Font.Assign(Label->Font());
        TFormParams p;
        p.Style = WS_POPUP;
        p.Width = Image->Width() * 96 / Dpi();
        p.Height = Image->Height() * 96 / Dpi();
        p.CenterOnScreen = false;
        CreateHandle(p);
    }
    TImage* Image;
    TAALabel* Label;
    TPlainText* Plain;
    bool PaintAsBefore = false;
    std::vector<double> PaintTimes;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != WM_PAINT) return TForm::WindowProc(message, wParam, lParam);
        // The whole WM_PAINT, BeginPaint to EndPaint, timed where it is handled.
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        if (PaintAsBefore) {
            ScopedPaint paint(Handle());
            PaintBefore(paint.Get(), paint.Invalid());
        } else {
            TForm::WindowProc(message, wParam, lParam);
        }
        GdiFlush();
        PaintTimes.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        return 0;
    }

private:
    void PaintBefore(HDC dc, const RECT& invalid) {
        const RECT client = ClientRect();
        ScopedMemoryDc memory(CreateCompatibleDC(dc));
        ScopedBitmap bitmap(CreateCompatibleBitmap(dc, client.right, client.bottom));
        ScopedSelectObject select(memory.Get(), bitmap.Get());
        {
            TCanvas canvas(memory.Get());
            PaintBackground(canvas, client);
        }
        const int saved = SaveDC(memory.Get());
        IntersectClipRect(memory.Get(), 0, 0, Image->Width(), Image->Height());
        Image->Picture().StretchDraw(
            memory.Get(), Image->Stretch()
                              ? Image->BoundsRect()
                              : RECT{0, 0, Image->Picture().Width(), Image->Picture().Height()});
        RestoreDC(memory.Get(), saved);
        {
            // The label as it painted itself: measured, then drawn at its layout point.
            const int labelSaved = SaveDC(memory.Get());
            SetViewportOrgEx(memory.Get(), Label->Left(), Label->Top(), nullptr);
            IntersectClipRect(memory.Get(), 0, 0, Label->Width(), Label->Height());
            TCanvas canvas(memory.Get());
            TSteppedText measure(&canvas);
            canvas.Font().Assign(Label->Font());
            canvas.Brush().SetStyle(TBrushStyle::bsClear);
            StyleEffect(measure.Effect());
            measure.TextExtent(kCaption);
            FOld.DrawLabel(canvas, 0, 0, kCaption,
                           measure.MeasureText(canvas.Font().LogFont(), kCaption));
            measure.SetCanvas(nullptr);
            RestoreDC(memory.Get(), labelSaved);
        }
        {
            const int plainSaved = SaveDC(memory.Get());
            SetViewportOrgEx(memory.Get(), Plain->Left(), Plain->Top(), nullptr);
            IntersectClipRect(memory.Get(), 0, 0, Plain->Width(), Plain->Height());
            TCanvas canvas(memory.Get());
            Plain->Paint(canvas);
            RestoreDC(memory.Get(), plainSaved);
        }
        BitBlt(dc, invalid.left, invalid.top, invalid.right - invalid.left,
               invalid.bottom - invalid.top, memory.Get(), invalid.left, invalid.top, SRCCOPY);
    }

    TEngineBefore FOld;
};

std::vector<uint32_t> WindowPixels(HWND window, const RECT& r) {
    const int width = r.right - r.left, height = r.bottom - r.top;
    void* bits = nullptr;
    ScopedBitmap shot = CreateTopDownDib(width, height, 32, &bits);
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    {
        ScopedSelectObject select(dc.Get(), shot.Get());
        ScopedWindowDc source(window);
        BitBlt(dc.Get(), 0, 0, width, height, source.Get(), r.left, r.top, SRCCOPY);
    }
    GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    return std::vector<uint32_t>(p, p + static_cast<size_t>(width) * height);
}

// The whole WM_PAINT of one label's rectangle with the picture beneath, the form's paint
// before and after in the same run, beside the same WM_PAINT of a TextOutW of the same text.
void TimeWindowPaint(int dpi, double goal) {
    TComponent owner;
    auto* form = owner.Own<TBenchForm>(dpi);
    ShowWindow(form->Handle(), SW_SHOWNOACTIVATE);
    UpdateWindow(form->Handle());
    struct TFigures {
        double Paint, RoundTrip;
    };
    // The WM_PAINT alone, and with the invalidation and UpdateWindow that bring it.
    auto repaint = [&](const RECT& r) {
        form->PaintTimes.clear();
        const double roundTrip = Median([&] {
            InvalidateRect(form->Handle(), &r, FALSE);
            UpdateWindow(form->Handle());
        });
        std::vector<double>& t = form->PaintTimes;
        std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
        return TFigures{t[t.size() / 2], roundTrip};
    };
    const RECT label = form->Label->BoundsRect(), plain = form->Plain->BoundsRect();
    const TFigures after = repaint(label);
    const std::vector<uint32_t> afterPixels = WindowPixels(form->Handle(), label);
    const TFigures plainAfter = repaint(plain);
    form->PaintAsBefore = true;
    const TFigures before = repaint(label);
    const std::vector<uint32_t> beforePixels = WindowPixels(form->Handle(), label);
    const TFigures plainBefore = repaint(plain);
    std::printf("WM_PAINT of one label's rectangle (%ld x %ld) over the picture at %d DPI "
                "(with the invalidation and UpdateWindow that bring it in brackets):\n"
                "  after %.1f us (%.1f), before %.1f us (%.1f), same pixels: %s; the same "
                "WM_PAINT of a TextOutW after %.1f us (%.1f), before %.1f us (%.1f); "
                "goal <= %.0f us %s\n",
                label.right - label.left, label.bottom - label.top, dpi, after.Paint,
                after.RoundTrip, before.Paint, before.RoundTrip,
                afterPixels == beforePixels ? "yes" : "NO", plainAfter.Paint, plainAfter.RoundTrip,
                plainBefore.Paint, plainBefore.RoundTrip, goal,
                after.Paint <= goal ? "met" : "NOT met");
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
    TimeLabelPaint(96, 100);
    TimeLabelPaint(144, 200);
    TimeWindowPaint(96, 300);
    TimeWindowPaint(144, 300);
#endif
    return 0;
}
