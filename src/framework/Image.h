#pragma once
// A windowless picture at its own size in 96-DPI pixels, scaled to the form's DPI, from the
// top left of the control and cut off at its bounds; or stretched into the bounds. The picture is
// kept at the size it is shown at, resized once for that size.
#include <string>

#include "framework/GraphicControl.h"
#include "framework/JpegPicture.h"
#include "framework/OffscreenBitmap.h"

class TImage : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    // The picture, decoded first if it is still waiting in the resource.
    TJpegPicture& Picture();
    // Names the picture resource, decoded when the picture is first needed (painted or asked
    // for): a window that starts hidden in the tray need not decode its picture at all.
    void SetPictureResource(std::wstring name);
    // Drawn into the control's bounds instead of at its own size.
    bool Stretch() const { return FStretch; }
    void SetStretch(bool stretch);
    void Paint(TCanvas& canvas) override;

private:
    TJpegPicture FPicture;
    std::wstring FPendingResource;
    bool FStretch = false;
    // The picture at the size it is drawn, made again only when that size or the picture
    // changes: a HALFTONE stretch costs more than the rest of a repaint.
    TOffscreenBitmap FScaled;
    unsigned FScaledStamp = 0;
};
