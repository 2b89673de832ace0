#include "textfx/TextGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

int CeilDiv(int value, int scale) {
    return (value + scale - 1) / scale;
}

int ItalicWidening(int width, int bytes) {
    if (bytes <= 0) return 0;
    // The default rounding mode rounds ties to even.
    return static_cast<int>(std::nearbyint(static_cast<double>(width) / bytes * 0.3));
}

TTextBox RotatedTextBox(int width, int height, int escapement) {
    const double theta = escapement * std::numbers::pi / 1800.0;
    const double c = std::cos(-theta), sn = std::sin(-theta);
    const double hw = width / 2.0, hh = height / 2.0;
    auto round = [](double v) { return static_cast<int>(std::nearbyint(v)); };
    // Corners relative to the centre; P0 is the turned top-left corner, where the text starts.
    const int p0x = round(hh * sn - hw * c), p0y = round(-hw * sn - hh * c);
    const int p1x = round(hw * c + hh * sn), p1y = round(hw * sn - hh * c);
    const int xs[4] = {p0x, p1x, -p1x, -p0x};
    const int ys[4] = {p0y, p1y, -p1y, -p0y};
    TTextBox box;
    box.Width = *std::max_element(xs, xs + 4) - *std::min_element(xs, xs + 4);
    box.Height = *std::max_element(ys, ys + 4) - *std::min_element(ys, ys + 4);
    box.StartX = box.Width / 2 + p0x;
    box.StartY = box.Height / 2 + p0y;
    return box;
}
