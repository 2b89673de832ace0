#include "framework/DpiScaler.h"

#include <algorithm>

#include "framework/Dpi.h"
#include "framework/GraphicControl.h"
#include "framework/StdCtrls.h"

namespace {
RECT ScaledRect(const RECT& r, int from, int to) {
    return RECT{MulDiv(r.left, to, from), MulDiv(r.top, to, from), MulDiv(r.right, to, from),
                MulDiv(r.bottom, to, from)};
}

RECT BoundsInParent(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}
} // namespace

void TDpiScaler::Capture(HWND parent, int now) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const bool known =
            std::any_of(FWindows.begin(), FWindows.end(),
                        [child](const TWindowDesign& d) { return d.Window == child; });
        if (!known)
            FWindows.push_back({child, BoundsInParent(child),
                                reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)),
                                now});
        TWinControl* control = TWinControl::FromHandle(child);
        if (dynamic_cast<TPanel*>(control) || dynamic_cast<TTabControl*>(control))
            Capture(child, now);
    }
}

HFONT TDpiScaler::ScaledFont(HFONT design, int designDpi, int dpi) {
    if (!design || designDpi == dpi) return design;
    ScopedFont& font = FFonts[{design, dpi}];
    if (!font) {
        LOGFONTW lf{};
        GetObjectW(design, sizeof lf, &lf);
        lf.lfHeight = MulDiv(lf.lfHeight, dpi, designDpi);
        lf.lfWidth = MulDiv(lf.lfWidth, dpi, designDpi);
        font.Reset(CreateFontIndirectW(&lf));
    }
    return font.Get();
}

void TDpiScaler::Rescale(HWND form, const std::vector<TGraphicControl*>& controls, int now,
                         int dpi) {
    std::erase_if(FWindows, [](const TWindowDesign& d) { return !IsWindow(d.Window); });
    Capture(form, now);
    // Children first: a container that then takes its size arranges children already scaled.
    for (auto it = FWindows.rbegin(); it != FWindows.rend(); ++it) {
        const RECT r = ScaledRect(it->Bounds, it->Dpi, dpi);
        SetWindowPos(it->Window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (it->Font)
            SendMessageW(it->Window, WM_SETFONT,
                         reinterpret_cast<WPARAM>(ScaledFont(it->Font, it->Dpi, dpi)), FALSE);
    }
    for (const TWindowDesign& design : FWindows)
        if (TWinControl* control = TWinControl::FromHandle(design.Window)) control->Rescaled();

    for (TGraphicControl* control : controls) {
        TFont* font = control->ScalableFont();
        auto [entry, added] = FControls.try_emplace(
            control, TControlDesign{control->BoundsRect(), font ? font->Height() : 0, now});
        const TControlDesign& design = entry->second;
        const RECT r = ScaledRect(design.Bounds, design.Dpi, dpi);
        control->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
        if (font) font->SetHeight(MulDiv(design.FontHeight, dpi, design.Dpi));
    }
}
