// Forms and the windowless controls they route input to, with real Wine windows.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Form.h"
#include "framework/GraphicControl.h"
#include "framework/Image.h"
#include "framework/JpegPicture.h"
#include "framework/Scoped.h"
#include "framework/StdCtrls.h"
#include "framework/Timer.h"
#include "support/MessageBoxes.h"

namespace {

class Box : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    int Paints = 0;
    void Paint(TCanvas& canvas) override {
        ++Paints;
        canvas.Brush().SetColor(RGB(255, 0, 0));
        canvas.FillRect(RECT{0, 0, Width(), Height()});
    }
};

class TestForm : public TForm {
public:
    explicit TestForm(TComponent* owner) : TForm(owner) {
        left = Own<Box>(this);
        left->SetBounds(10, 10, 50, 20);
        right = Own<Box>(this);
        right->SetBounds(100, 10, 50, 20);
        TFormParams p;
        p.Caption = L"Test";
        p.Width = 200;
        p.Height = 100;
        CreateHandle(p);
    }
    Box* left;
    Box* right;
    using TForm::Scale;
};

LPARAM At(int x, int y) {
    return MAKELPARAM(x, y);
}

TEST(Form, RoutesPointerInputToTheControlUnderIt) {
    TComponent owner;
    auto* form = owner.Own<TestForm>();
    std::vector<std::wstring> events;
    auto record = [&](const wchar_t* what) {
        return [&events, what, form](TComponent* sender) {
            events.push_back(std::wstring(what) + (sender == form->left ? L" left" : L" right"));
        };
    };
    for (Box* box : {form->left, form->right}) {
        box->OnClick = record(L"click");
        box->OnDblClick = record(L"dblclick");
        box->OnMouseEnter = record(L"enter");
        box->OnMouseLeave = record(L"leave");
    }
    HWND w = form->Handle();
    SendMessageW(w, WM_MOUSEMOVE, 0, At(20, 15));
    SendMessageW(w, WM_MOUSEMOVE, 0, At(25, 15));
    SendMessageW(w, WM_MOUSEMOVE, 0, At(110, 15));
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, At(110, 15));
    SendMessageW(w, WM_LBUTTONUP, 0, At(111, 16));
    SendMessageW(w, WM_LBUTTONDBLCLK, MK_LBUTTON, At(111, 16));
    SendMessageW(w, WM_LBUTTONUP, 0, At(111, 16));
    // A press that ends outside the control is no click.
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, At(110, 15));
    SendMessageW(w, WM_LBUTTONUP, 0, At(80, 80));
    // Nor is one whose capture was taken away before it ended.
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, At(110, 15));
    ReleaseCapture();
    SendMessageW(w, WM_LBUTTONUP, 0, At(110, 15));
    SendMessageW(w, WM_MOUSELEAVE, 0, 0);
    const std::vector<std::wstring> expected{L"enter left",  L"leave left",     L"enter right",
                                             L"click right", L"dblclick right", L"leave right"};
    EXPECT_EQ(events, expected);
}

TEST(Form, PaintsItsControlsOnItsCanvas) {
    TComponent owner;
    auto* form = owner.Own<TestForm>();
    form->Show();
    form->Invalidate();
    form->Update();
    EXPECT_GT(form->left->Paints, 0);
    form->right->SetVisible(false);
    const int before = form->right->Paints;
    form->Invalidate();
    form->Update();
    EXPECT_EQ(form->right->Paints, before) << "a hidden control is not painted";
}

TEST(Form, CloseQueryCanRefuseAndModalRunEndsWithItsResult) {
    TComponent owner;
    auto* form = owner.Own<TestForm>();
    bool allow = false;
    form->OnCloseQuery = [&] { return allow; };
    form->Show();
    EXPECT_FALSE(form->Close());
    EXPECT_TRUE(form->Visible());
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(form->Visible()) << "the platform's close goes through the same query";
    allow = true;
    EXPECT_TRUE(form->Close());
    EXPECT_FALSE(form->Visible());

    PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(form->ShowModal(), IDCANCEL);
    EXPECT_FALSE(form->Visible());
}

TEST(Form, HandlerErrorsReachTheStandardErrorBox) {
    std::vector<std::wstring> shown;
    const ScopedMessageBoxes boxGuard(
        [&](const std::wstring& text, const std::wstring& caption, UINT flags) {
            // MB_OK is zero: only the whole button field tells an OK box from any other.
            shown.push_back(caption + L": " + text +
                            ((flags & MB_TYPEMASK) == MB_OK ? L" [OK]" : L" [other buttons]"));
            return IDOK;
        });
    TComponent owner;
    auto* form = owner.Own<TestForm>();
    form->left->OnClick = [](TComponent*) {
        throw Exception(L"Unable to write to C:\\x\\Config.ini");
    };
    SendMessageW(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(20, 15));
    SendMessageW(form->Handle(), WM_LBUTTONUP, 0, At(20, 15));
    EXPECT_EQ(shown,
              (std::vector<std::wstring>{L"Tarnwick: Unable to write to C:\\x\\Config.ini [OK]"}));
}

class FormWithFailingCreate : public TForm {
public:
    explicit FormWithFailingCreate(TComponent* owner) : TForm(owner) {
        OnCreate = [this] {
            ++steps;
            throw Exception(L"Invalid namespace : 8004100E");
        };
        TFormParams p;
        p.Caption = L"Failing";
        CreateHandle(p);
    }
    int steps = 0;
};

TEST(Form, AnErrorOfItsCreationHandlerIsShownAndTheFormExistsAllTheSame) {
    std::vector<std::wstring> shown;
    const ScopedMessageBoxes boxGuard([&](const std::wstring& text, const std::wstring&, UINT) {
        shown.push_back(text);
        return IDOK;
    });
    TComponent owner;
    FormWithFailingCreate* form = nullptr;
    EXPECT_NO_THROW(form = owner.Own<FormWithFailingCreate>());
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->HandleAllocated());
    EXPECT_EQ(form->steps, 1);
    EXPECT_EQ(shown, std::vector<std::wstring>{L"Invalid namespace : 8004100E"});
}

// A picture that must be resized under two controls, over the form's own background.
class PictureForm : public TForm {
public:
    // deferred: the picture is only named, and decoded when first needed.
    explicit PictureForm(TComponent* owner, const wchar_t* deferred = nullptr) : TForm(owner) {
        image = Own<TImage>(this);
        image->SetStretch(true);
        image->SetBounds(0, 0, 180, 90);
        if (deferred)
            image->SetPictureResource(deferred);
        else
            image->Picture().LoadFromResource(L"BACKGROUND");
        left = Own<Box>(this);
        left->SetBounds(10, 10, 50, 20);
        right = Own<Box>(this);
        right->SetBounds(120, 60, 50, 20);
        TFormParams p;
        p.Style = WS_POPUP;
        p.Width = 200;
        p.Height = 100;
        CreateHandle(p);
    }
    TImage* image;
    Box* left;
    Box* right;
};

std::vector<uint32_t> PixelsOf(HDC source, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    ScopedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    {
        ScopedSelectObject select(dc.Get(), bitmap.Get());
        BitBlt(dc.Get(), 0, 0, width, height, source, 0, 0, SRCCOPY);
    }
    GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    return std::vector<uint32_t>(p, p + static_cast<size_t>(width) * height);
}

// What the window shows now.
std::vector<uint32_t> OnScreen(TForm& form) {
    UpdateWindow(form.Handle());
    const RECT c = form.ClientRect();
    ScopedWindowDc dc(form.Handle());
    return PixelsOf(dc.Get(), c.right, c.bottom);
}

// The whole client area painted at once, the picture stretched as it is drawn.
std::vector<uint32_t> PaintedWhole(PictureForm& form) {
    const RECT c = form.ClientRect();
    ScopedWindowDc screen(form.Handle());
    ScopedMemoryDc dc(CreateCompatibleDC(screen.Get()));
    ScopedBitmap bitmap(CreateCompatibleBitmap(screen.Get(), c.right, c.bottom));
    ScopedSelectObject select(dc.Get(), bitmap.Get());
    ScopedBrush face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    FillRect(dc.Get(), &c, face.Get());
    form.image->Picture().StretchDraw(dc.Get(), form.image->BoundsRect());
    ScopedBrush red(CreateSolidBrush(RGB(255, 0, 0)));
    for (Box* box : {form.left, form.right}) {
        const RECT r = box->BoundsRect();
        FillRect(dc.Get(), &r, red.Get());
    }
    return PixelsOf(dc.Get(), c.right, c.bottom);
}

TEST(Form, RepaintsOnlyTheInvalidPartAndLeavesWhatAWholePaintWould) {
    TComponent owner;
    auto* form = owner.Own<PictureForm>();
    ShowWindow(form->Handle(), SW_SHOWNOACTIVATE);
    EXPECT_TRUE(OnScreen(*form) == PaintedWhole(*form)) << "the resized picture, kept";

    form->left->Paints = form->right->Paints = 0;
    const RECT part{30, 5, 100, 50};
    InvalidateRect(form->Handle(), &part, FALSE);
    EXPECT_TRUE(OnScreen(*form) == PaintedWhole(*form)) << "after a partial repaint";
    EXPECT_EQ(form->left->Paints, 1);
    EXPECT_EQ(form->right->Paints, 0) << "outside the invalid part";

    // The kept picture follows a new picture and a new size.
    form->image->Picture().LoadFromResource(L"LOGO");
    form->Invalidate();
    EXPECT_TRUE(OnScreen(*form) == PaintedWhole(*form)) << "another picture";
    form->image->SetBounds(0, 0, 150, 80);
    form->Invalidate();
    EXPECT_TRUE(OnScreen(*form) == PaintedWhole(*form)) << "another size";
}

TEST(Form, APictureNamedByItsResourceIsDecodedWhenFirstNeededAndPaintsTheSame) {
    TComponent owner;
    auto* form = owner.Own<PictureForm>(L"BACKGROUND");
    ShowWindow(form->Handle(), SW_SHOWNOACTIVATE);
    const std::vector<uint32_t> shown = OnScreen(*form);
    EXPECT_TRUE(shown == PaintedWhole(*form)) << "the first paint decoded it";
    TJpegPicture eager;
    eager.LoadFromResource(L"BACKGROUND");
    const TJpegPicture& deferred = form->image->Picture();
    ASSERT_EQ(deferred.Width(), eager.Width());
    ASSERT_EQ(deferred.Height(), eager.Height());
    const size_t stride = (static_cast<size_t>(eager.Width()) * 3 + 3) & ~size_t{3};
    EXPECT_TRUE(
        std::equal(eager.Pixels(), eager.Pixels() + stride * eager.Height(), deferred.Pixels()));

    // A resource that is not there fails where the picture is first needed, and only there.
    auto* missing = owner.Own<PictureForm>(L"NO_SUCH_PICTURE");
    EXPECT_THROW(missing->image->Picture(), Exception);
    EXPECT_TRUE(missing->image->Picture().Empty());
}

TEST(Form, LayoutScalesWithTheDpi) {
    TComponent owner;
    auto* form = owner.Own<TestForm>();
    EXPECT_EQ(form->Scale(96), form->Dpi());
    RECT client = form->ClientRect();
    EXPECT_EQ(client.right, form->Scale(200));
    EXPECT_EQ(client.bottom, form->Scale(100));
}

// A child window's rectangle in its parent's client area.
RECT BoundsIn(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

::testing::AssertionResult Is(const RECT& r, int left, int top, int right, int bottom) {
    if (r.left == left && r.top == top && r.right == right && r.bottom == bottom)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << r.left << "," << r.top << "," << r.right << "," << r.bottom << " instead of " << left
           << "," << top << "," << right << "," << bottom;
}

TEST(Form, AlignedControlsTakeTheirSidesAndFollowTheClientArea) {
    TComponent owner;
    auto* form = owner.Own<TestForm>();
    const RECT client = form->ClientRect();
    const int w = client.right, h = client.bottom;
    // Made in an order other than the sides' order: top goes first all the same.
    auto* inner = form->Own<TPanel>(form->Handle(), RECT{});
    inner->SetAlign(alClient);
    auto* side = form->Own<TPanel>(inner->Handle(), RECT{0, 0, 40, 5});
    side->SetAlign(alLeft);
    auto* top = form->Own<TPanel>(form->Handle(), RECT{0, 0, 10, 30});
    top->SetAlign(alTop);
    auto* bottom = form->Own<TButton>(form->Handle(), L"b", RECT{0, 0, 10, 20}, nullptr);
    bottom->SetAlign(alBottom);
    form->right->SetAlign(alRight); // windowless, 50 wide
    EXPECT_TRUE(Is(BoundsIn(top->Handle()), 0, 0, w, 30));
    EXPECT_TRUE(Is(BoundsIn(bottom->Handle()), 0, h - 20, w, h));
    EXPECT_TRUE(Is(form->right->BoundsRect(), w - 50, 30, w, h - 20));
    EXPECT_TRUE(Is(BoundsIn(inner->Handle()), 0, 30, w - 50, h - 20));
    EXPECT_TRUE(Is(BoundsIn(side->Handle()), 0, 0, 40, h - 50));
    EXPECT_TRUE(Is(form->left->BoundsRect(), 10, 10, 60, 30)) << "not aligned: stays";

    RECT outer{};
    GetWindowRect(form->Handle(), &outer);
    SetWindowPos(form->Handle(), nullptr, 0, 0, outer.right - outer.left + 100,
                 outer.bottom - outer.top + 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(Is(BoundsIn(top->Handle()), 0, 0, w + 100, 30));
    EXPECT_TRUE(Is(BoundsIn(bottom->Handle()), 0, h + 20, w + 100, h + 40));
    EXPECT_TRUE(Is(form->right->BoundsRect(), w + 50, 30, w + 100, h + 20));
    EXPECT_TRUE(Is(BoundsIn(side->Handle()), 0, 0, 40, h - 10)) << "a panel arranges its own";
}

TEST(Form, AControlsColourIsAnsweredWithItsOneBrush) {
    TComponent owner;
    auto* form = owner.Own<TestForm>();
    auto* panel = form->Own<TPanel>(form->Handle(), RECT{0, 0, 100, 50});
    auto* field = form->Own<TDBEdit>(panel->Handle(), RECT{0, 0, 80, 20}, nullptr);
    auto* plain = form->Own<TEdit>(panel->Handle(), RECT{0, 25, 80, 45}, nullptr, true);
    auto* coloured = form->Own<TEdit>(form->Handle(), RECT{0, 60, 80, 80}, nullptr);
    coloured->SetColor(RGB(10, 20, 30));
    ScopedWindowDc dc(field->Handle());
    const auto ask = [&](HWND parent, UINT message, TWinControl* control) {
        return reinterpret_cast<HBRUSH>(SendMessageW(parent, message,
                                                     reinterpret_cast<WPARAM>(dc.Get()),
                                                     reinterpret_cast<LPARAM>(control->Handle())));
    };
    const auto colourOf = [](HBRUSH brush) {
        LOGBRUSH lb{};
        GetObjectW(brush, sizeof lb, &lb);
        return lb.lbColor;
    };
    HBRUSH brush = ask(panel->Handle(), WM_CTLCOLORSTATIC, field);
    EXPECT_EQ(colourOf(brush), GetSysColor(COLOR_BTNFACE)) << "the read-only field's panel";
    EXPECT_EQ(GetBkColor(dc.Get()), GetSysColor(COLOR_BTNFACE));
    HBRUSH own = ask(form->Handle(), WM_CTLCOLOREDIT, coloured);
    EXPECT_EQ(colourOf(own), RGB(10, 20, 30)) << "routed by the form as well";
    // The same brush every time, still alive after the answer: none made per message.
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(ask(panel->Handle(), WM_CTLCOLORSTATIC, field), brush);
        EXPECT_EQ(ask(form->Handle(), WM_CTLCOLOREDIT, coloured), own);
    }
    EXPECT_EQ(GetObjectType(own), static_cast<DWORD>(OBJ_BRUSH));
    // A control without a colour of its own gets the platform's answer.
    EXPECT_EQ(ask(panel->Handle(), WM_CTLCOLORSTATIC, plain),
              reinterpret_cast<HBRUSH>(DefWindowProcW(panel->Handle(), WM_CTLCOLORSTATIC,
                                                      reinterpret_cast<WPARAM>(dc.Get()),
                                                      reinterpret_cast<LPARAM>(plain->Handle()))));
    form->Destroy(coloured);
    EXPECT_EQ(GetObjectType(own), 0u) << "the brush goes with its control";
}

// The tool tip window a form made for the hints of its controls.
HWND ToolTipOf(HWND form) {
    struct Search {
        HWND Form;
        HWND Found;
    } search{form, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            wchar_t name[64] = {};
            GetClassNameW(w, name, 64);
            if (GetWindow(w, GW_OWNER) == s->Form && std::wstring(name) == TOOLTIPS_CLASSW)
                s->Found = w;
            return !s->Found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

TEST(Form, AHiddenControlShowsNoHint) {
    TComponent owner;
    auto* form = owner.Own<TestForm>();
    form->left->SetHint(L"双击切换");
    HWND tip = ToolTipOf(form->Handle());
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    form->left->SetVisible(false);
    EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 0);
    form->left->SetVisible(true);
    EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1) << "shown again, it has its hint again";
}

TEST(Form, AControlOwnedElsewhereForgetsItsParentWhenTheFormGoes) {
    TComponent owner, elsewhere;
    auto* form = owner.Own<TestForm>();
    auto* box = elsewhere.Own<Box>(form);
    box->SetBounds(10, 40, 20, 20);
    owner.Destroy(form);
    EXPECT_EQ(box->Parent(), nullptr);
    // Neither of these may reach the form that is gone.
    box->SetHint(L"双击切换");
    box->SetVisible(false);
    elsewhere.Destroy(box);
}

// Looks, while it goes away, at what its form still routes input to.
class Witness : public Box {
public:
    Witness(TComponent* owner, TForm* parent, POINT other, std::vector<bool>& seen)
        : Box(owner, parent), FOther(other), FSeen(seen) {}
    ~Witness() override { FSeen.push_back(Parent()->ControlAt(FOther) != nullptr); }

private:
    POINT FOther;
    std::vector<bool>& FSeen;
};

class WitnessForm : public TForm {
public:
    WitnessForm(TComponent* owner, std::vector<bool>& seen) : TForm(owner) {
        // The second control belongs to a component created before the first, so the
        // first goes away while the second is still on the form.
        auto* group = Own<TComponent>();
        Own<Witness>(this, POINT{115, 15}, seen)->SetBounds(10, 10, 50, 20);
        group->Own<Witness>(this, POINT{15, 15}, seen)->SetBounds(110, 10, 50, 20);
        TFormParams p;
        p.Width = 200;
        p.Height = 100;
        CreateHandle(p);
    }
};

TEST(Form, ItsControlsGoAwayWhileTheFormIsWhole) {
    std::vector<bool> seen;
    {
        TComponent owner;
        owner.Own<WitnessForm>(seen);
    }
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST(Form, WindowDestroyedFromOutsideIsForgotten) {
    TComponent owner;
    auto* form = owner.Own<TestForm>();
    DestroyWindow(form->Handle());
    ASSERT_FALSE(form->HandleAllocated());
    EXPECT_FALSE(form->Visible());

    // A modal run ends when its window goes, instead of waiting for it for ever.
    auto* modal = owner.Own<TestForm>();
    auto* timer = owner.Own<TTimer>();
    timer->SetInterval(1);
    timer->OnTimer = [&](TComponent*) {
        timer->SetEnabled(false);
        DestroyWindow(modal->Handle());
    };
    EXPECT_NE(modal->ShowModal(), IDOK);
    EXPECT_FALSE(modal->HandleAllocated());
}

} // namespace
