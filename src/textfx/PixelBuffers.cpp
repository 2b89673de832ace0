#include "textfx/PixelBuffers.h"

void TMaskBuffer::SetSize(int width, int height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    FWidth = width;
    FHeight = height;
    FStride = PaddedStride(width);
    FBytes.assign(static_cast<size_t>(FStride) * static_cast<size_t>(height), 0);
}

uint8_t* TMaskBuffer::Line(int y) {
    if (y < 0 || y >= FHeight) throw EInvalidLine();
    return FBytes.data() + static_cast<size_t>(y) * FStride;
}

const uint8_t* TMaskBuffer::Line(int y) const {
    if (y < 0 || y >= FHeight) throw EInvalidLine();
    return FBytes.data() + static_cast<size_t>(y) * FStride;
}

uint8_t* TColorPixels::Line(int y) const {
    if (y < 0 || y >= Height) throw EInvalidLine();
    return Bits + static_cast<size_t>(y) * Stride;
}

void TColorPixels::Fill(TColorValue color) const {
    for (int y = 0; y < Height; ++y) {
        uint8_t* p = Line(y);
        for (int x = 0; x < Width; ++x, p += 3) {
            p[0] = static_cast<uint8_t>(BlueOf(color));
            p[1] = static_cast<uint8_t>(GreenOf(color));
            p[2] = static_cast<uint8_t>(RedOf(color));
        }
    }
}

TColorBuffer::TColorBuffer(int width, int height) {
    const int stride = PaddedStride(3 * width);
    FBytes.assign(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
    FPixels = TColorPixels{FBytes.data(), width, height, stride};
}

TColorValue TColorBuffer::ColorAt(int x, int y) {
    const uint8_t* p = Pixel(x, y);
    return RgbColor(p[2], p[1], p[0]);
}
