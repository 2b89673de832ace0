#include "textfx/AABlend.h"

#include "textfx/PixelKernels.h"

bool TAABlend::BeginWork(int x, int y, const TMaskBuffer& mask) {
    if (!FCanvas || mask.Empty()) return false;
    if (FLayered) {
        const TColorPixels all = FWork.Pixels();
        const int dx = x - FLayerOrigin.x, dy = y - FLayerOrigin.y;
        if (dx < 0 || dy < 0 || dx >= all.Width || dy >= all.Height) return false;
        FTarget = TColorPixels{all.Line(dy) + 3 * dx, all.Width - dx, all.Height - dy, all.Stride};
        return true;
    }
    FWork.SetSize(mask.Width(), mask.Height());
    TBrush& brush = FCanvas->Brush();
    if (brush.Style() == TBrushStyle::bsSolid) {
        FWork.Pixels().Fill(ResolveColor(brush.Color()));
    } else {
        BitBlt(FWork.Dc(), 0, 0, mask.Width(), mask.Height(), FCanvas->Handle(), x, y, SRCCOPY);
    }
    FTarget = FWork.Pixels();
    return true;
}

void TAABlend::EndWork(int x, int y) {
    if (FLayered) return;
    GdiFlush();
    BitBlt(FCanvas->Handle(), x, y, FWork.Width(), FWork.Height(), FWork.Dc(), 0, 0, SRCCOPY);
}

void TAABlend::BlendColor(int x, int y, const TMaskBuffer& mask, int alpha, COLORREF color) {
    if (!BeginWork(x, y, mask)) return;
    ::BlendColor(FTarget, mask, alpha, ResolveColor(color));
    EndWork(x, y);
}

void TAABlend::BlendBitmap(int x, int y, const TMaskBuffer& mask, int alpha) {
    if (FForeground.BitsPerPixel() != 24 || FForeground.Width() != mask.Width() ||
        FForeground.Height() != mask.Height())
        throw EInvalidForeBmp();
    if (!BeginWork(x, y, mask)) return;
    ::BlendBitmap(FTarget, mask, alpha, FForeground.Pixels());
    EndWork(x, y);
}

void TAABlend::BeginLayers(int x, int y, int width, int height) {
    if (!FCanvas || width <= 0 || height <= 0) return;
    FWork.SetSize(width, height);
    BitBlt(FWork.Dc(), 0, 0, width, height, FCanvas->Handle(), x, y, SRCCOPY);
    FLayerOrigin = POINT{x, y};
    FLayered = true;
}

void TAABlend::EndLayers() {
    if (!FLayered) return;
    FLayered = false;
    EndWork(FLayerOrigin.x, FLayerOrigin.y);
}
