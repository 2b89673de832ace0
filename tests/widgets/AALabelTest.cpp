// The effect label: its settings, its layout, and what it paints over its parent.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Application.h"
#include "framework/Dib.h"
#include "framework/Form.h"
#include "framework/JpegPicture.h"
#include "support/ObjectCounts.h"
#include "widgets/AALabel.h"

namespace {

const COLORREF kLime = RGB(0, 255, 0);

// Counts the rebuilds, each of which invalidates once, and can make a paint raise.
class TProbeLabel : public TAALabel {
public:
    using TAALabel::TAALabel;
    int Resets = 0;
    int Paints = 0;
    bool RaiseInPaint = false;
    TCanvas* BoundCanvas() { return Engine().Canvas(); }

protected:
    void Reset() override {
        ++Resets;
        TAALabel::Reset();
    }
    void PaintCanvas(TCanvas& canvas) override {
        ++Paints;
        TAALabel::PaintCanvas(canvas);
        if (RaiseInPaint) throw std::runtime_error("paint failed");
    }
};

// A background with detail everywhere, so a stale or misplaced pixel shows.
void PaintPattern(HDC dc, const RECT& r) {
    for (int y = r.top; y < r.bottom; y += 4)
        for (int x = r.left; x < r.right; x += 4) {
            const RECT cell{x, y, x + 4, y + 4};
            ScopedBrush brush(CreateSolidBrush(RGB((x * 3) & 255, (y * 5) & 255, (x + y) & 255)));
            FillRect(dc, &cell, brush.Get());
        }
}

// The main window's look, at a given caption.
void StyleLikeMainWindow(TAALabel& label, const std::wstring& caption) {
    label.SetCaption(caption);
    label.Font().SetName(L"黑体");
    label.Font().SetCharset(GB2312_CHARSET);
    label.Font().SetHeight(37);
    label.Font().SetColor(kLime);
    label.Effect().SetTransparent(true);
    TAAEffect& effect = label.Effect().FontEffect();
    effect.Shadow().SetEnabled(true);
    effect.Shadow().SetBlur(100);
    effect.Shadow().SetColor(0);
    effect.SetOutline(true);
}

class TLabelForm : public TForm {
public:
    explicit TLabelForm(TComponent* owner, const std::function<void(TProbeLabel&)>& setup = nullptr)
        : TForm(owner) {
        Label = Own<TProbeLabel>(this);
        Label->SetBounds(20, 15, 46, 12);
        if (setup) setup(*Label);
        TFormParams p;
        p.Caption = L"Label";
        p.Style = WS_POPUP;
        p.Width = 240;
        p.Height = 120;
        CreateHandle(p);
    }
    TProbeLabel* Label;

protected:
    void PaintBackground(TCanvas& canvas, const RECT& client) override {
        PaintPattern(canvas.Handle(), client);
    }
};

struct TShot {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;
    uint32_t At(int x, int y) const {
        return Pixels[static_cast<size_t>(y) * Width + x] & 0xFFFFFF;
    }
};

TShot FromDc(HDC source, int width, int height) {
    TShot shot{width, height, {}};
    void* bits = nullptr;
    ScopedBitmap bitmap = CreateTopDownDib(width, height, 32, &bits);
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    {
        ScopedSelectObject select(dc.Get(), bitmap.Get());
        BitBlt(dc.Get(), 0, 0, width, height, source, 0, 0, SRCCOPY);
    }
    GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    shot.Pixels.assign(p, p + static_cast<size_t>(width) * height);
    return shot;
}

// What the window shows now, stale pixels included.
TShot Screen(TForm& form) {
    UpdateWindow(form.Handle());
    const RECT c = form.ClientRect();
    ScopedWindowDc dc(form.Handle());
    return FromDc(dc.Get(), c.right, c.bottom);
}

// The pixels of r that differ between two shots.
int Differences(const TShot& a, const TShot& b, const RECT& r) {
    int n = 0;
    for (int y = std::max<int>(r.top, 0); y < std::min<int>(r.bottom, a.Height); ++y)
        for (int x = std::max<int>(r.left, 0); x < std::min<int>(r.right, a.Width); ++x)
            n += a.At(x, y) != b.At(x, y);
    return n;
}

RECT Union(const RECT& a, const RECT& b) {
    RECT u{};
    UnionRect(&u, &a, &b);
    return u;
}

// Shows the form and paints it, so what follows starts from a clean window.
void Settle(TForm& form) {
    ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
    UpdateWindow(form.Handle());
    Application().ProcessMessages();
}

} // namespace

TEST(AALabel, StartsWithItsDefaults) {
    TAALabel label(nullptr, nullptr);
    EXPECT_TRUE(label.AutoSize());
    EXPECT_EQ(label.Border(), 0);
    EXPECT_EQ(label.Width(), 46);
    EXPECT_EQ(label.Height(), 12);
    EXPECT_EQ(label.Caption(), L"");
    EXPECT_FALSE(label.Ready());
    TAALabelEffect& effect = label.Effect();
    EXPECT_FALSE(effect.Transparent());
    EXPECT_EQ(effect.Layout(), tlTop);
    EXPECT_EQ(effect.Alignment(), taLeftJustify);
    EXPECT_EQ(effect.Quality(), aqNormal);
    EXPECT_EQ(effect.BackGroundMode(), bmCenter);
    EXPECT_FALSE(effect.BackGround());
    EXPECT_EQ(effect.BackColor(), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(label.Drag().DragKind(), dkDrag);
    EXPECT_EQ(label.Drag().DragCursor(), -12);
    EXPECT_EQ(label.Drag().DragMode(), dmManual);
    EXPECT_TRUE(label.ParentEffect().ParentColor());
    EXPECT_TRUE(label.ParentEffect().ParentFont());
    EXPECT_TRUE(label.ParentEffect().ParentShowHint());
    EXPECT_EQ(label.Align(), alNone);
    EXPECT_TRUE(label.Enabled());

    // The colour is the control's own; setting it leaves the parent's.
    effect.SetBackColor(RGB(1, 2, 3));
    EXPECT_EQ(label.Color(), RGB(1, 2, 3));
    EXPECT_FALSE(label.ParentEffect().ParentColor());
    label.SetBorder(-3);
    EXPECT_EQ(label.Border(), 0) << "a border is never negative";
    effect.SetQuality(aqHigh);
    EXPECT_EQ(effect.Quality(), aqHigh);
}

TEST(AALabel, LaysOutByAlignmentLayoutAndBorder) {
    const SIZE text{20, 10};
    struct Row {
        TAlignment Alignment;
        TTextLayout Layout;
        int X0, Y0, X3, Y3; // Border 0 and Border 3
    };
    // A 50 x 30 label: the centre ignores the border, right and bottom subtract it.
    const Row rows[] = {
        {taLeftJustify, tlTop, 0, 0, 3, 3},
        {taLeftJustify, tlCenter, 0, 10, 3, 10},
        {taLeftJustify, tlBottom, 0, 20, 3, 17},
        {taRightJustify, tlTop, 30, 0, 27, 3},
        {taRightJustify, tlCenter, 30, 10, 27, 10},
        {taRightJustify, tlBottom, 30, 20, 27, 17},
        {taCenter, tlTop, 15, 0, 15, 3},
        {taCenter, tlCenter, 15, 10, 15, 10},
        {taCenter, tlBottom, 15, 20, 15, 17},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(LayoutLabel(text, 50, 30, false, alNone, 0, r.Alignment, r.Layout),
                  (TLabelLayout{r.X0, r.Y0, 50, 30}))
            << r.Alignment << "/" << r.Layout;
        EXPECT_EQ(LayoutLabel(text, 50, 30, false, alNone, 3, r.Alignment, r.Layout),
                  (TLabelLayout{r.X3, r.Y3, 50, 30}))
            << r.Alignment << "/" << r.Layout << " with a border";
    }
    // A text larger than the label by odd amounts: halves truncate toward zero.
    const SIZE large{55, 33};
    EXPECT_EQ(LayoutLabel(large, 50, 30, false, alNone, 0, taCenter, tlCenter),
              (TLabelLayout{-2, -1, 50, 30}));
    EXPECT_EQ(LayoutLabel(large, 50, 30, false, alNone, 0, taRightJustify, tlBottom),
              (TLabelLayout{-5, -3, 50, 30}));
}

TEST(AALabel, AutoSizeFollowsTheAlignOfTheControl) {
    const SIZE text{20, 10};
    auto size = [&](TAlign align) {
        const TLabelLayout l = LayoutLabel(text, 50, 30, true, align, 3, taLeftJustify, tlTop);
        return std::make_pair(l.Width, l.Height);
    };
    EXPECT_EQ(size(alNone), std::make_pair(26, 16));
    EXPECT_EQ(size(alLeft), std::make_pair(26, 30));
    EXPECT_EQ(size(alRight), std::make_pair(26, 30));
    EXPECT_EQ(size(alTop), std::make_pair(50, 16));
    EXPECT_EQ(size(alBottom), std::make_pair(50, 16));
    EXPECT_EQ(size(alClient), std::make_pair(50, 30)) << "client alignment never auto-sizes";
}

// The label's size is the engine's extent with the shadow, plus the border on each side.
TEST(AALabel, AutoSizesToTheEnginesExtentWhenLoaded) {
    TComponent owner;
    auto* form = owner.Own<TLabelForm>([](TProbeLabel& l) {
        StyleLikeMainWindow(l, L"×内网");
        l.SetBorder(3);
    });
    TProbeLabel& label = *form->Label;
    EXPECT_TRUE(label.Ready());
    TAATextEx engine;
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    TCanvas canvas(dc.Get());
    canvas.Font().Assign(label.Font());
    engine.SetCanvas(&canvas);
    engine.Effect().Assign(label.Effect().FontEffect());
    const SIZE extent = engine.TextExtent(L"×内网");
    EXPECT_EQ(label.Width(), extent.cx + 6);
    EXPECT_EQ(label.Height(), extent.cy + 6);
    engine.Effect().Shadow().SetEnabled(false);
    EXPECT_EQ(engine.TextExtent(L"×内网").cx + 2, extent.cx) << "the shadow adds its offset";
}

// Painted on a form, the transparent label is the engine's drawing over the same background;
// an underlined font is measured and drawn underlined.
TEST(AALabel, PaintsWhatTheEngineDrawsOverTheSameBackground) {
    for (const unsigned style : {0u, unsigned{fsUnderline}}) {
        TComponent owner;
        auto* form = owner.Own<TLabelForm>([&](TProbeLabel& l) {
            StyleLikeMainWindow(l, L"√内网");
            l.Font().SetStyle(style);
        });
        Settle(*form);
        const TShot shown = Screen(*form);

        const RECT client = form->ClientRect();
        void* bits = nullptr;
        ScopedBitmap bitmap = CreateTopDownDib(client.right, client.bottom, 32, &bits);
        ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
        TShot expected, patternOnly;
        {
            ScopedSelectObject select(dc.Get(), bitmap.Get());
            PaintPattern(dc.Get(), client);
            patternOnly = FromDc(dc.Get(), client.right, client.bottom);
            SetViewportOrgEx(dc.Get(), form->Label->Left(), form->Label->Top(), nullptr);
            TCanvas canvas(dc.Get());
            canvas.Font().Assign(form->Label->Font());
            canvas.Brush().SetStyle(TBrushStyle::bsClear);
            TAATextEx engine(&canvas);
            engine.Effect().Assign(form->Label->Effect().FontEffect());
            const TLabelLayout at = LayoutLabel(engine.TextExtent(L"√内网"), 46, 12, true, alNone,
                                                0, taLeftJustify, tlTop);
            engine.DrawEffectText(at.X, at.Y, L"√内网");
            SetViewportOrgEx(dc.Get(), 0, 0, nullptr);
            expected = FromDc(dc.Get(), client.right, client.bottom);
        }
        // The window really was read: the pattern beside the label, the text over it.
        ASSERT_EQ(shown.At(5, 5), 0x0C1408u);
        EXPECT_GT(Differences(shown, patternOnly, form->Label->BoundsRect()), 100);
        EXPECT_EQ(Differences(shown, expected, client), 0) << "style " << style;
        EXPECT_EQ(form->Label->BoundCanvas(), nullptr) << "the paint's canvas is let go";
    }
}

TEST(AALabel, RepaintsOnlyForChangesThatShow) {
    TProbeLabel unloaded(nullptr, nullptr);
    unloaded.SetCaption(L"x");
    unloaded.Font().SetColor(kLime);
    EXPECT_EQ(unloaded.Resets, 0) << "nothing before the label is ready";

    TComponent owner;
    auto* form = owner.Own<TLabelForm>([](TProbeLabel& l) { StyleLikeMainWindow(l, L"×内网"); });
    TProbeLabel& label = *form->Label;
    auto resets = [&](auto change) {
        label.Resets = 0;
        change();
        return label.Resets;
    };
    TAAEffect& effect = label.Effect().FontEffect();
    EXPECT_EQ(resets([&] { effect.Gradual().SetStartColor(RGB(1, 1, 1)); }), 0)
        << "a disabled gradient's colour";
    effect.Shadow().SetEnabled(false);
    EXPECT_EQ(resets([&] { effect.Shadow().SetColor(RGB(9, 9, 9)); }), 0)
        << "a disabled shadow's colour";
    EXPECT_EQ(resets([&] { effect.Shadow().SetEnabled(true); }), 1);
    EXPECT_EQ(resets([&] { label.SetEnabled(false); }), 1);
    EXPECT_EQ(resets([&] { label.SetEnabled(true); }), 1);
    EXPECT_EQ(resets([&] {
                  label.SetCaption(L"×内网");
                  label.SetBorder(0);
                  label.Effect().SetQuality(aqNormal);
                  label.Font().SetColor(kLime);
              }),
              0)
        << "unchanged values";
    EXPECT_EQ(resets([&] { label.Effect().SetQuality(aqHigh); }), 1)
        << "the mask does not notify; the setter does";
    EXPECT_EQ(resets([&] { label.Font().SetColor(RGB(255, 255, 255)); }), 1);
    EXPECT_EQ(resets([&] { label.Effect().SetBackColor(RGB(3, 3, 3)); }), 1);
    EXPECT_EQ(resets([&] { label.SetCaption(L"√内网"); }), 1) << "a resize is part of it";
}

// Every change leaves the window as a freshly made one shows the same state, over the old
// and the new rectangle of the label.
TEST(AALabel, ChangesLeaveNoTraceOfThePreviousPicture) {
    struct Step {
        std::wstring Caption;
        unsigned Style;
    };
    const Step steps[] = {{L"√内网", 0}, {L"×内网", 0},     {L"×内网", fsUnderline}, {L"×内网", 0},
                          {L"×", 0},     {L"√内网网网", 0}, {L"内", fsUnderline}};
    TComponent owner;
    auto* form = owner.Own<TLabelForm>([](TProbeLabel& l) { StyleLikeMainWindow(l, L"×内网"); });
    Settle(*form);
    for (const Step& step : steps) {
        // Only the change itself is left to paint.
        Settle(*form);
        const RECT before = form->Label->BoundsRect();
        form->Label->SetCaption(step.Caption);
        form->Label->Font().SetStyle(step.Style);
        const TShot changed = Screen(*form);

        auto* fresh = owner.Own<TLabelForm>([&](TProbeLabel& l) {
            StyleLikeMainWindow(l, step.Caption);
            l.Font().SetStyle(step.Style);
        });
        Settle(*fresh);
        const TShot expected = Screen(*fresh);
        const RECT area = Union(before, form->Label->BoundsRect());
        EXPECT_EQ(Differences(changed, expected, area), 0)
            << "after " << step.Caption.size() << " characters, style " << step.Style;
        owner.Destroy(fresh);
    }
}

TEST(AALabel, OpaqueLabelDrawsItsBackgroundThenTheText) {
    auto picture = std::make_shared<TJpegPicture>();
    picture->LoadFromResource(L"BACKGROUND");
    ASSERT_FALSE(picture->Empty());
    const int pw = picture->Width(), ph = picture->Height();
    const COLORREF back = RGB(10, 20, 30);
    auto pixelOf = [&](int x, int y) {
        const uint8_t* p = picture->Pixels() + y * ((pw * 3 + 3) & ~3) + x * 3;
        return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    };
    const uint32_t backPixel = GetBValue(back) | (GetGValue(back) << 8) | (GetRValue(back) << 16);
    for (const TBackGroundMode mode : {bmTiled, bmStretched, bmCenter, bmNormal}) {
        TComponent owner;
        auto* form = owner.Own<TLabelForm>([&](TProbeLabel& l) {
            l.SetAutoSize(false);
            l.Effect().SetBackColor(back);
            l.Effect().SetBackGround(picture);
            l.Effect().SetBackGroundMode(mode);
        });
        // Larger than the picture, so every mode shows its own placement.
        const int w = pw + 60, h = ph + 40;
        form->Label->SetBounds(0, 0, w, h);
        SetWindowPos(form->Handle(), nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER);
        Settle(*form);
        const TShot s = Screen(*form);
        switch (mode) {
        case bmTiled:
            EXPECT_EQ(s.At(pw + 5, 7), pixelOf(5, 7));
            EXPECT_EQ(s.At(3, ph + 9), pixelOf(3, 9));
            break;
        case bmStretched:
            EXPECT_NE(s.At(w - 1, h - 1), backPixel);
            break;
        case bmCenter:
            EXPECT_EQ(s.At(30, 20), pixelOf(0, 0));
            EXPECT_EQ(s.At(5, 5), backPixel);
            EXPECT_EQ(s.At(w - 5, h - 5), backPixel);
            break;
        case bmNormal:
            EXPECT_EQ(s.At(0, 0), pixelOf(0, 0));
            EXPECT_EQ(s.At(w - 5, h - 5), backPixel);
            break;
        }
    }
}

TEST(AALabel, OpaqueLabelCopiesTheEnginesDrawingOverItsColour) {
    TComponent owner;
    auto* form = owner.Own<TLabelForm>([](TProbeLabel& l) {
        StyleLikeMainWindow(l, L"×外网");
        l.Effect().SetTransparent(false);
        l.Effect().SetBackColor(RGB(40, 60, 80));
        l.SetBorder(2);
    });
    Settle(*form);
    const TShot shown = Screen(*form);
    TProbeLabel& label = *form->Label;
    void* bits = nullptr;
    ScopedBitmap bitmap = CreateTopDownDib(label.Width(), label.Height(), 32, &bits);
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    ScopedSelectObject select(dc.Get(), bitmap.Get());
    TCanvas canvas(dc.Get());
    canvas.Brush().SetColor(RGB(40, 60, 80));
    canvas.FillRect(RECT{0, 0, label.Width(), label.Height()});
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    canvas.Font().Assign(label.Font());
    TAATextEx engine(&canvas);
    engine.Effect().Assign(label.Effect().FontEffect());
    engine.DrawEffectText(2, 2, L"×外网");
    const TShot expected = FromDc(dc.Get(), label.Width(), label.Height());
    int differing = 0;
    for (int y = 0; y < label.Height(); ++y)
        for (int x = 0; x < label.Width(); ++x)
            differing += shown.At(label.Left() + x, label.Top() + y) != expected.At(x, y);
    EXPECT_EQ(differing, 0);
}

TEST(AALabel, FirstPaintMakesTheLabelReadyAndDrawsIt) {
    TComponent owner;
    auto* form = owner.Own<TLabelForm>();
    // Made after loading: only its first paint makes it ready.
    auto* label = form->Own<TProbeLabel>(form);
    StyleLikeMainWindow(*label, L"√内网");
    label->Effect().SetTransparent(false);
    EXPECT_FALSE(label->Ready());
    void* bits = nullptr;
    ScopedBitmap bitmap = CreateTopDownDib(200, 100, 32, &bits);
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    ScopedSelectObject select(dc.Get(), bitmap.Get());
    {
        TCanvas canvas(dc.Get());
        label->Paint(canvas);
    }
    EXPECT_TRUE(label->Ready());
    EXPECT_EQ(label->Paints, 1);
    GdiFlush();
    EXPECT_NE(static_cast<const uint32_t*>(bits)[0] & 0xFFFFFF, 0u) << "drawn in that paint";
}

TEST(AALabel, PaintThatRaisesLeavesTheLabelPaintable) {
    TComponent owner;
    auto* form = owner.Own<TLabelForm>([](TProbeLabel& l) { StyleLikeMainWindow(l, L"×内网"); });
    TProbeLabel& label = *form->Label;
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    TCanvas canvas(dc.Get());
    label.RaiseInPaint = true;
    EXPECT_THROW(label.Paint(canvas), std::runtime_error);
    EXPECT_EQ(label.BoundCanvas(), nullptr);
    label.RaiseInPaint = false;
    label.Paints = 0;
    label.Paint(canvas);
    EXPECT_EQ(label.Paints, 1) << "the painting guard was cleared";
}

TEST(AALabel, ManyLabelsComeAndGoWithoutKeepingGdiObjects) {
    TComponent owner;
    auto* form = owner.Own<TLabelForm>();
    Settle(*form);
    auto cycle = [&] {
        auto* label = form->Own<TAALabel>(form);
        StyleLikeMainWindow(*label, L"√内网");
        form->Invalidate();
        UpdateWindow(form->Handle());
        form->Destroy(label);
    };
    for (int i = 0; i < 20; ++i)
        cycle();
    const DWORD before = GdiObjectCount();
    if (before == 0) GTEST_SKIP() << "the system's GDI objects cannot be counted";
    for (int i = 0; i < 1000; ++i)
        cycle();
    EXPECT_LE(GdiObjectCount(), before + 5);
}
