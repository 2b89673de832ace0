#pragma once
// Controls aligned to a side of their parent: the top-aligned ones first, in their order, each
// taking the full width at the top of what is left, then bottom, left and right, and a
// client-aligned control fills whatever remains. Arranged again whenever the parent resizes.
#include <windows.h>

#include <functional>
#include <vector>

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

struct TAlignedControl {
    TAlign Align = alNone;
    RECT Bounds{}; // now, in the parent's client area
    std::function<void(const RECT&)> Place;
};

// Gives each aligned control its place in area; a control whose place is unchanged is not told.
void ArrangeControls(const std::vector<TAlignedControl>& controls, const RECT& area);
