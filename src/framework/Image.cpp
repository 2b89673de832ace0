#include "framework/Image.h"

void TImage::Paint(TCanvas& canvas) {
    FPicture.StretchDraw(canvas.Handle(), RECT{0, 0, Width(), Height()});
}
