#include "framework/Image.h"

#include "framework/Form.h"

void TImage::SetStretch(bool stretch) {
    if (FStretch == stretch) return;
    FStretch = stretch;
    Invalidate();
}

void TImage::Paint(TCanvas& canvas) {
    if (FStretch) {
        FPicture.StretchDraw(canvas.Handle(), RECT{0, 0, Width(), Height()});
        return;
    }
    // Only the parent paints a control. At 96 DPI this is the picture's own size, so it is
    // copied 1:1 and stays sharp; the parent clips what lies beyond the bounds.
    FPicture.StretchDraw(canvas.Handle(), RECT{0, 0, Parent()->Scale(FPicture.Width()),
                                               Parent()->Scale(FPicture.Height())});
}
