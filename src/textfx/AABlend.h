#pragma once
// Blends a colour, or the colours of a prepared foreground bitmap, through a mask onto the
// engine's canvas.
#include "framework/Canvas.h"
#include "textfx/DibBitmap.h"
#include "textfx/PixelBuffers.h"

class TAABlend {
public:
    TCanvas* Canvas() const { return FCanvas; }
    void SetCanvas(TCanvas* canvas) { FCanvas = canvas; }

    // The foreground bitmap: give it the mask's size and draw into it before BlendBitmap.
    TDibBitmap& Foreground() { return FForeground; }

    // alpha in percent. A solid canvas brush is the background; with any other brush the text
    // is blended onto what the canvas already shows.
    void BlendColor(int x, int y, const TMaskBuffer& mask, int alpha, COLORREF color);
    // Raises EInvalidForeBmp when the foreground bitmap is not 24-bit of the mask's size.
    void BlendBitmap(int x, int y, const TMaskBuffer& mask, int alpha);

    // Between these, blends land in one area of the canvas that is read once, at the begin,
    // and written back once, at the end. For a clear brush only: the layers blend onto what
    // the canvas shows.
    void BeginLayers(int x, int y, int width, int height);
    void EndLayers();
    // Leaves the canvas as it is; for a drawing that failed.
    void AbandonLayers() { FLayered = false; }

private:
    // Prepares the work bitmap under the mask's rectangle; false when there is nothing to do.
    bool BeginWork(int x, int y, const TMaskBuffer& mask);
    void EndWork(int x, int y);

    TCanvas* FCanvas = nullptr;
    TDibBitmap FForeground;
    TDibBitmap FWork;
    bool FLayered = false;
    POINT FLayerOrigin{};
    // Where the current blend goes in the work bitmap.
    TColorPixels FTarget;
};
