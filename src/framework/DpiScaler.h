#pragma once
// Lays a form's contents out again at another DPI (the form moved to a monitor of another
// scale) as they were laid out at the DPI they were made for: every rectangle and font is
// scaled from that first layout, never from the last one, so moving back and forth leaves no
// rounding behind.
#include <windows.h>

#include <map>
#include <utility>
#include <vector>

#include "framework/Scoped.h"

class TGraphicControl;

class TDpiScaler {
public:
    // The child windows of form, and the windowless controls, from the DPI they show at now to
    // dpi. What is met for the first time counts as made for the DPI it shows at now.
    void Rescale(HWND form, const std::vector<TGraphicControl*>& controls, int now, int dpi);
    void Forget(TGraphicControl* control) { FControls.erase(control); }

private:
    struct TWindowDesign {
        HWND Window;
        RECT Bounds; // in the parent's client area
        HFONT Font;
        int Dpi;
    };
    struct TControlDesign {
        RECT Bounds;
        int FontHeight;
        int Dpi;
    };
    // Every child window not yet known, parents before their children; containers of the
    // framework are walked into, the inside of other controls (a drop-down's edit) is not.
    void Capture(HWND parent, int now);
    HFONT ScaledFont(HFONT design, int designDpi, int dpi);

    std::vector<TWindowDesign> FWindows;
    std::map<TGraphicControl*, TControlDesign> FControls;
    std::map<std::pair<HFONT, int>, ScopedFont> FFonts; // a design font at another DPI
};
