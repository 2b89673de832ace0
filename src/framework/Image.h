#pragma once
// A windowless picture at its own size in 96-DPI pixels, scaled to the form's DPI, from the
// top left of the control and cut off at its bounds; or stretched into the bounds. The picture is
// kept at the size it is shown at, resized once for that size.
#include "framework/GraphicControl.h"
#include "framework/JpegPicture.h"
#include "framework/OffscreenBitmap.h"

class TImage : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    TJpegPicture& Picture() { return FPicture; }
    // Drawn into the control's bounds instead of at its own size.
    bool Stretch() const { return FStretch; }
    void SetStretch(bool stretch);
    void Paint(TCanvas& canvas) override;

private:
    TJpegPicture FPicture;
    bool FStretch = false;
    // The picture at the size it is drawn, made again only when that size or the picture
    // changes: a HALFTONE stretch costs more than the rest of a repaint.
    TOffscreenBitmap FScaled;
    unsigned FScaledStamp = 0;
};
