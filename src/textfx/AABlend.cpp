#include "textfx/AABlend.h"

#include "textfx/PixelKernels.h"

bool TAABlend::BeginWork(int x, int y, const TMaskBuffer& mask) {
    if (!FCanvas || mask.Empty()) return false;
    FWork.SetSize(mask.Width(), mask.Height());
    TBrush& brush = FCanvas->Brush();
    if (brush.Style() == TBrushStyle::bsSolid) {
        FWork.Pixels().Fill(ResolveColor(brush.Color()));
    } else {
        TBitmapDc dc(FWork.Handle());
        BitBlt(dc.Get(), 0, 0, mask.Width(), mask.Height(), FCanvas->Handle(), x, y, SRCCOPY);
    }
    return true;
}

void TAABlend::EndWork(int x, int y) {
    GdiFlush();
    TBitmapDc dc(FWork.Handle());
    BitBlt(FCanvas->Handle(), x, y, FWork.Width(), FWork.Height(), dc.Get(), 0, 0, SRCCOPY);
}

void TAABlend::BlendColor(int x, int y, const TMaskBuffer& mask, int alpha, COLORREF color) {
    if (!BeginWork(x, y, mask)) return;
    ::BlendColor(FWork.Pixels(), mask, alpha, ResolveColor(color));
    EndWork(x, y);
}

void TAABlend::BlendBitmap(int x, int y, const TMaskBuffer& mask, int alpha) {
    if (FForeground.BitsPerPixel() != 24 || FForeground.Width() != mask.Width() ||
        FForeground.Height() != mask.Height())
        throw EInvalidForeBmp();
    if (!BeginWork(x, y, mask)) return;
    ::BlendBitmap(FWork.Pixels(), mask, alpha, FForeground.Pixels());
    EndWork(x, y);
}
