#include "framework/Image.h"

#include <utility>

#include "framework/Form.h"

TJpegPicture& TImage::Picture() {
    // Taken before decoding: a resource that fails is reported once, not at every paint.
    if (!FPendingResource.empty())
        FPicture.LoadFromResource(std::exchange(FPendingResource, std::wstring()).c_str());
    return FPicture;
}

void TImage::SetPictureResource(std::wstring name) {
    FPendingResource = std::move(name);
    Invalidate();
}

void TImage::SetStretch(bool stretch) {
    if (FStretch == stretch) return;
    FStretch = stretch;
    Invalidate();
}

void TImage::Paint(TCanvas& canvas) {
    const TJpegPicture& picture = Picture();
    // Only the parent paints a control. At 96 DPI the picture's own size is drawn, so it is
    // copied 1:1 and stays sharp; the parent clips what lies beyond the bounds.
    const SIZE size =
        FStretch ? SIZE{Width(), Height()}
                 : SIZE{Parent()->Scale(picture.Width()), Parent()->Scale(picture.Height())};
    if (picture.Empty() || size.cx <= 0 || size.cy <= 0) return FScaled.Reset();
    if (FScaled.Width() != size.cx || FScaled.Height() != size.cy ||
        FScaledStamp != picture.Stamp()) {
        FScaled.Assign(ScopedBitmap(CreateCompatibleBitmap(canvas.Handle(), size.cx, size.cy)),
                       size.cx, size.cy);
        if (!FScaled.Dc()) return;
        picture.StretchDraw(FScaled.Dc(), RECT{0, 0, size.cx, size.cy});
        FScaledStamp = picture.Stamp();
    }
    BitBlt(canvas.Handle(), 0, 0, size.cx, size.cy, FScaled.Dc(), 0, 0, SRCCOPY);
}
