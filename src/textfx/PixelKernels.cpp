#include "textfx/PixelKernels.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

uint8_t ClampByte(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// p + floor((c - p) * w / 256); the shift floors negative products too.
uint8_t Mix(int p, int c, int w) {
    return static_cast<uint8_t>(p + (((c - p) * w) >> 8));
}

// The blend weight 0 .. 255 of a coverage at an alpha in percent.
int BlendWeight(int coverage, int alpha) {
    const int k = alpha * 256 / 100;
    return coverage * k / 256;
}

// The blend weights of every coverage at one alpha, worked out once per blend.
struct TBlendWeights {
    explicit TBlendWeights(int alpha) {
        for (int c = 0; c < 256; ++c)
            Of[c] = BlendWeight(c, alpha);
    }
    int Of[256];
};

void BlendPixel(uint8_t* p, int w, int blue, int green, int red) {
    if (w == 0) return;
    if (w == 255) {
        p[0] = static_cast<uint8_t>(blue);
        p[1] = static_cast<uint8_t>(green);
        p[2] = static_cast<uint8_t>(red);
        return;
    }
    p[0] = Mix(p[0], blue, w);
    p[1] = Mix(p[1], green, w);
    p[2] = Mix(p[2], red, w);
}

// Sums of the five neighbours along a line, positions outside replaced by the nearest end, kept
// as a running sum: one value enters and one leaves at every step.
void FiveSums(const uint8_t* values, int count, int* sums) {
    const int last = count - 1;
    int sum = 3 * values[0] + values[std::min(1, last)] + values[std::min(2, last)];
    for (int i = 0; i < count; ++i) {
        sums[i] = sum;
        sum += values[std::min(i + 3, last)] - values[std::max(i - 2, 0)];
    }
}

} // namespace

const TRandom& DefaultRandom() {
    static std::mt19937 generator;
    static const TRandom random = [](int n) {
        if (n <= 0) return 0;
        return std::uniform_int_distribution<int>(0, n - 1)(generator);
    };
    return random;
}

int QualityScale(TAAQuality quality) {
    switch (quality) {
    case aqHigh:
        return 4;
    case aqNormal:
        return 3;
    case aqLow:
        return 2;
    case aqNone:
        return 1;
    }
    return 3;
}

void ReduceMask(const uint8_t* rendering, int stride, int scale, TMaskBuffer& mask) {
    // One loop per scale, so the block's shape is fixed inside the loop.
    auto reduce = [&](int s, auto block) {
        for (int y = 0; y < mask.Height(); ++y) {
            uint8_t* out = mask.Line(y);
            const uint8_t* a = rendering + static_cast<size_t>(y) * s * stride;
            for (int x = 0; x < mask.Width(); ++x)
                out[x] = static_cast<uint8_t>(block(a + x * s));
        }
    };
    switch (scale) {
    case 4:
        reduce(4, [stride](const uint8_t* p) {
            int value = 0;
            for (int r = 0; r < 4; ++r, p += stride)
                value += p[0] + p[1] + p[2] + p[3];
            return value >> 4;
        });
        break;
    case 3:
        // Halved opposite corners keep the sum within 11 bits; a full block gives 254.
        reduce(3, [stride](const uint8_t* p) {
            const uint8_t* b = p + stride;
            const uint8_t* c = b + stride;
            return (p[0] + p[1] + (p[2] >> 1) + b[0] + b[1] + b[2] + (c[0] >> 1) + c[1] + c[2]) >>
                   3;
        });
        break;
    case 2:
        reduce(2, [stride](const uint8_t* p) {
            return (p[0] + p[1] + p[stride] + p[stride + 1]) >> 2;
        });
        break;
    default:
        reduce(scale, [](const uint8_t* p) { return int{p[0]}; });
        break;
    }
}

void OutlineMask(TMaskBuffer& mask) {
    const int w = mask.Width(), h = mask.Height();
    if (w < 3 || h < 3) return;
    // Each row reads the rows above and below as they were: the row above is kept from before
    // it was written, the row below is not written yet.
    std::vector<uint8_t> above(mask.Line(0), mask.Line(0) + w), middle(static_cast<size_t>(w));
    for (int y = 1; y < h - 1; ++y) {
        uint8_t* out = mask.Line(y);
        std::copy(out, out + w, middle.begin());
        const uint8_t* u = above.data();
        const uint8_t* m = middle.data();
        const uint8_t* d = mask.Line(y + 1);
        for (int x = 1; x < w - 1; ++x) {
            const int sum = std::abs(d[x] - u[x]) + std::abs(m[x + 1] - m[x - 1]) +
                            std::abs(d[x - 1] - u[x + 1]) + std::abs(d[x + 1] - u[x - 1]);
            out[x] = static_cast<uint8_t>(std::min(sum >> 2, 255));
        }
        std::swap(above, middle);
    }
}

void SprayMask(TMaskBuffer& mask, int range, const TRandom& random) {
    if (range <= 0 || mask.Empty()) return;
    const int w = mask.Width(), h = mask.Height();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int b = random(range + 1);
            const int sx = std::clamp(x + b - random(2 * b), 0, w - 1);
            const int sy = std::clamp(y + b - random(2 * b), 0, h - 1);
            mask.At(x, y) = mask.At(sx, sy);
        }
}

void MirrorMaskHorizontally(TMaskBuffer& mask) {
    for (int y = 0; y < mask.Height(); ++y)
        std::reverse(mask.Line(y), mask.Line(y) + mask.Width());
}

void MirrorMaskVertically(TMaskBuffer& mask) {
    for (int top = 0, bottom = mask.Height() - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(mask.Line(top), mask.Line(top) + mask.Width(), mask.Line(bottom));
}

int BlurFactor(int strength) {
    // round(strength * 255 / 100), ties to even.
    const int product = std::clamp(strength, 0, 100) * 255;
    int f = product / 100;
    const int rest = product % 100;
    if (rest > 50 || (rest == 50 && f % 2 == 1)) ++f;
    return f;
}

void BlurMask(TMaskBuffer& mask, int strength) {
    const int w = mask.Width(), h = mask.Height();
    if (strength <= 0 || mask.Empty()) return;
    const int f = BlurFactor(strength);

    // The 5 x 5 sum is separable: five-sums along each row, then a running sum down each column
    // of those, moved one row at a time.
    std::vector<int> rowSums(static_cast<size_t>(w) * h), column(static_cast<size_t>(w));
    auto rowOf = [&](int y) { return &rowSums[static_cast<size_t>(std::clamp(y, 0, h - 1)) * w]; };
    for (int y = 0; y < h; ++y)
        FiveSums(mask.Line(y), w, rowOf(y));
    for (int d = -2; d <= 2; ++d) {
        const int* r = rowOf(d);
        for (int x = 0; x < w; ++x)
            column[x] += r[x];
    }

    for (int y = 0; y < h; ++y) {
        uint8_t* out = mask.Line(y);
        for (int x = 0; x < w; ++x) {
            const int a = (column[x] + 12) / 25;
            const int m = out[x];
            out[x] = static_cast<uint8_t>(f == 255 ? a : m + (((a - m) * f) >> 8));
        }
        const int* entering = rowOf(y + 3);
        const int* leaving = rowOf(y - 2);
        for (int x = 0; x < w; ++x)
            column[x] += entering[x] - leaving[x];
    }
}

void BlendColor(const TColorPixels& work, const TMaskBuffer& mask, int alpha, TColorValue color) {
    const int w = std::min(work.Width, mask.Width()), h = std::min(work.Height, mask.Height());
    const TBlendWeights weights(alpha);
    for (int y = 0; y < h; ++y) {
        const uint8_t* m = mask.Line(y);
        uint8_t* p = work.Line(y);
        for (int x = 0; x < w; ++x, p += 3)
            BlendPixel(p, weights.Of[m[x]], BlueOf(color), GreenOf(color), RedOf(color));
    }
}

void BlendBitmap(const TColorPixels& work, const TMaskBuffer& mask, int alpha,
                 const TColorPixels& fore) {
    if (!fore.Bits || fore.Width != mask.Width() || fore.Height != mask.Height())
        throw EInvalidForeBmp();
    const int w = std::min(work.Width, mask.Width()), h = std::min(work.Height, mask.Height());
    const TBlendWeights weights(alpha);
    for (int y = 0; y < h; ++y) {
        const uint8_t* m = mask.Line(y);
        const uint8_t* c = fore.Line(y);
        uint8_t* p = work.Line(y);
        for (int x = 0; x < w; ++x, p += 3, c += 3)
            BlendPixel(p, weights.Of[m[x]], c[0], c[1], c[2]);
    }
}

void GradientFill(const TColorPixels& target, TGradualStyle style, TColorValue startColor,
                  TColorValue endColor) {
    if (target.Empty()) return;
    const bool horizontal =
        style == gsLeftToRight || style == gsRightToLeft || style == gsCenterToLR;
    const bool centred = style == gsCenterToLR || style == gsCenterToTB;
    const bool forward = style == gsLeftToRight || style == gsTopToBottom;
    const TColorValue from = forward ? startColor : endColor;
    const TColorValue to = forward ? endColor : startColor;
    const int length = horizontal ? target.Width : target.Height;
    const int steps = centred ? (length + 1) / 2 : length;

    // Blue, green, red per entry, in the bitmap's byte order.
    std::vector<uint8_t> line(static_cast<size_t>(length) * 3);
    const int fromBgr[3] = {BlueOf(from), GreenOf(from), RedOf(from)};
    const int toBgr[3] = {BlueOf(to), GreenOf(to), RedOf(to)};
    for (int i = 0; i < steps; ++i)
        for (int ch = 0; ch < 3; ++ch) {
            const auto value =
                static_cast<uint8_t>(fromBgr[ch] + (toBgr[ch] - fromBgr[ch]) * i / steps);
            line[static_cast<size_t>(i) * 3 + ch] = value;
            if (centred) line[static_cast<size_t>(length - 1 - i) * 3 + ch] = value;
        }

    for (int y = 0; y < target.Height; ++y) {
        uint8_t* p = target.Line(y);
        if (horizontal) {
            std::memcpy(p, line.data(), line.size());
        } else {
            for (int x = 0; x < target.Width; ++x)
                std::memcpy(p + 3 * x, &line[static_cast<size_t>(y) * 3], 3);
        }
    }
}

std::vector<TPlacement> TexturePlacements(TTextureMode mode, int width, int height, int picWidth,
                                          int picHeight) {
    std::vector<TPlacement> places;
    if (picWidth <= 0 || picHeight <= 0 || width <= 0 || height <= 0) return places;
    switch (mode) {
    case tmTiled:
        for (int row = 0; row <= height / picHeight; ++row)
            for (int col = 0; col <= width / picWidth; ++col)
                places.push_back({col * picWidth, row * picHeight, picWidth, picHeight});
        break;
    case tmStretched:
        places.push_back({0, 0, width, height});
        break;
    case tmCenter:
        places.push_back({(width - picWidth) / 2, (height - picHeight) / 2, picWidth, picHeight});
        break;
    case tmNormal:
        places.push_back({0, 0, picWidth, picHeight});
        break;
    }
    return places;
}

void NoiseFill(const TColorPixels& target, TColorValue fontColor, int amplitude,
               const TRandom& random) {
    if (target.Empty()) return;
    const int half = amplitude / 2;
    for (int y = 0; y < target.Height; ++y) {
        uint8_t* p = target.Line(y);
        for (int x = 0; x < target.Width; ++x, p += 3) {
            const int red = RedOf(fontColor) + random(amplitude) - half;
            const int green = GreenOf(fontColor) + random(amplitude) - half;
            const int blue = BlueOf(fontColor) + random(amplitude) - half;
            p[0] = ClampByte(blue);
            p[1] = ClampByte(green);
            p[2] = ClampByte(red);
        }
    }
}

void AddNoise(const TColorPixels& target, int amplitude, const TRandom& random) {
    if (target.Empty()) return;
    const int half = amplitude / 2;
    for (int y = 0; y < target.Height; ++y) {
        uint8_t* p = target.Line(y);
        // The pixels' bytes only: the row padding is not part of the picture.
        for (int i = 0; i < 3 * target.Width; ++i)
            p[i] = ClampByte(p[i] + random(amplitude) - half);
    }
}
