#include "framework/Image.h"

#include "framework/Form.h"

void TImage::SetStretch(bool stretch) {
    if (FStretch == stretch) return;
    FStretch = stretch;
    Invalidate();
}

void TImage::Paint(TCanvas& canvas) {
    // Only the parent paints a control. At 96 DPI the picture's own size is drawn, so it is
    // copied 1:1 and stays sharp; the parent clips what lies beyond the bounds.
    const SIZE size =
        FStretch ? SIZE{Width(), Height()}
                 : SIZE{Parent()->Scale(FPicture.Width()), Parent()->Scale(FPicture.Height())};
    if (FPicture.Empty() || size.cx <= 0 || size.cy <= 0) return FScaled.Reset();
    if (FScaled.Width() != size.cx || FScaled.Height() != size.cy ||
        FScaledStamp != FPicture.Stamp()) {
        FScaled.Assign(ScopedBitmap(CreateCompatibleBitmap(canvas.Handle(), size.cx, size.cy)),
                       size.cx, size.cy);
        if (!FScaled.Dc()) return;
        FPicture.StretchDraw(FScaled.Dc(), RECT{0, 0, size.cx, size.cy});
        FScaledStamp = FPicture.Stamp();
    }
    BitBlt(canvas.Handle(), 0, 0, size.cx, size.cy, FScaled.Dc(), 0, 0, SRCCOPY);
}
