#include "framework/Align.h"

#include <algorithm>

namespace {
// The place of one control, cut from the side of rest that its alignment names.
RECT Take(TAlign align, const RECT& bounds, RECT& rest) {
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    RECT r = rest;
    switch (align) {
    case alTop:
        r.bottom = rest.top = rest.top + height;
        break;
    case alBottom:
        r.top = rest.bottom = rest.bottom - height;
        break;
    case alLeft:
        r.right = rest.left = rest.left + width;
        break;
    case alRight:
        r.left = rest.right = rest.right - width;
        break;
    case alClient:
    case alNone:
        break;
    }
    // Controls that take more than there is leave no negative room behind.
    r.right = std::max(r.right, r.left);
    r.bottom = std::max(r.bottom, r.top);
    return r;
}
} // namespace

void ArrangeControls(const std::vector<TAlignedControl>& controls, const RECT& area) {
    RECT rest = area;
    for (TAlign align : {alTop, alBottom, alLeft, alRight, alClient}) {
        for (const TAlignedControl& c : controls) {
            if (c.Align != align) continue;
            const RECT r = Take(align, c.Bounds, rest);
            if (!EqualRect(&r, &c.Bounds) && c.Place) c.Place(r);
        }
    }
}
