#pragma once
// The pixel work of the text engine on plain buffers: reducing a rendering to a coverage mask,
// outline, spray, mirroring and blur of masks, blending through a mask, and the foreground
// bitmaps (gradient, texture placement, noise). Integer arithmetic throughout.
#include <functional>
#include <vector>

#include "textfx/PixelBuffers.h"

enum TAAQuality { aqHigh, aqNormal, aqLow, aqNone };
enum TGradualStyle {
    gsLeftToRight,
    gsRightToLeft,
    gsTopToBottom,
    gsBottomToTop,
    gsCenterToLR,
    gsCenterToTB
};
enum TTextureMode { tmTiled, tmStretched, tmCenter, tmNormal };

// Answers a uniform integer in 0 .. n - 1, and 0 for n = 0. Injectable so that spray and noise
// can be replayed.
using TRandom = std::function<int(int n)>;
// The process's generator; not seeded, so a run repeats the previous one's scatter.
const TRandom& DefaultRandom();

// Rendered pixels per mask pixel along each axis: 4, 3, 2, 1.
int QualityScale(TAAQuality quality);

// Averages each scale x scale block of an 8-bit top-down rendering (mask.Width() * scale by
// mask.Height() * scale pixels, rows of `stride` bytes) into one mask pixel.
void ReduceMask(const uint8_t* rendering, int stride, int scale, TMaskBuffer& mask);

// Keeps only the edges of the glyphs; the outer border and masks under 3 x 3 stay as they are.
void OutlineMask(TMaskBuffer& mask);
// Scatters every pixel by up to `range` pixels, in place, top row first.
void SprayMask(TMaskBuffer& mask, int range, const TRandom& random);
void MirrorMaskHorizontally(TMaskBuffer& mask);
void MirrorMaskVertically(TMaskBuffer& mask);

// The mixing factor of a blur strength 0 .. 100, in 255ths.
int BlurFactor(int strength);
// A 5 x 5 box blur mixed into the mask by the strength; pixels outside are the nearest edge's.
void BlurMask(TMaskBuffer& mask, int strength);

// Blends through the mask into the top-left mask-sized part of `work`; alpha is in percent.
void BlendColor(const TColorPixels& work, const TMaskBuffer& mask, int alpha, TColorValue color);
// The same with each pixel's colour from `fore`, which must have the mask's size (else
// EInvalidForeBmp).
void BlendBitmap(const TColorPixels& work, const TMaskBuffer& mask, int alpha,
                 const TColorPixels& fore);

void GradientFill(const TColorPixels& target, TGradualStyle style, TColorValue startColor,
                  TColorValue endColor);

struct TPlacement {
    int X, Y, Width, Height;
    bool operator==(const TPlacement&) const = default;
};
// Where a picture of picWidth x picHeight is drawn over a bitmap of width x height.
std::vector<TPlacement> TexturePlacements(TTextureMode mode, int width, int height, int picWidth,
                                          int picHeight);

// Every pixel the font colour with each channel (red, green, blue) moved by random noise.
void NoiseFill(const TColorPixels& target, TColorValue fontColor, int amplitude,
               const TRandom& random);
// Noise over what the bitmap already holds, byte by byte.
void AddNoise(const TColorPixels& target, int amplitude, const TRandom& random);
