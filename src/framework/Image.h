#pragma once
// A windowless picture, stretched over its bounds.
#include "framework/GraphicControl.h"
#include "framework/JpegPicture.h"

class TImage : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    TJpegPicture& Picture() { return FPicture; }
    void Paint(TCanvas& canvas) override;

private:
    TJpegPicture FPicture;
};
