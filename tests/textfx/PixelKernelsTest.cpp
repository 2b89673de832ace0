// The pixel kernels on plain buffers. Also built natively under the sanitizers, so small and
// edge-shaped masks are here on purpose: that is where reads outside a row would hide.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "textfx/PixelKernels.h"

namespace {

TMaskBuffer MaskOf(int width, std::initializer_list<int> values) {
    const int height = static_cast<int>(values.size()) / width;
    TMaskBuffer mask(width, height);
    int i = 0;
    for (int v : values) {
        mask.At(i % width, i / width) = static_cast<uint8_t>(v);
        ++i;
    }
    return mask;
}

std::vector<int> Row(const TMaskBuffer& mask, int y) {
    return std::vector<int>(mask.Line(y), mask.Line(y) + mask.Width());
}

std::vector<int> Column(const TMaskBuffer& mask, int x) {
    std::vector<int> values;
    for (int y = 0; y < mask.Height(); ++y)
        values.push_back(mask.At(x, y));
    return values;
}

// Plays back given numbers and records the ranges asked for.
struct TScriptedRandom {
    std::deque<int> Answers;
    std::vector<int> Ranges;
    TRandom Function() {
        return [this](int n) {
            Ranges.push_back(n);
            if (n == 0 || Answers.empty()) return 0;
            const int v = Answers.front();
            Answers.pop_front();
            return v;
        };
    }
};

} // namespace

TEST(MaskBuffer, RowsArePaddedAndRowsOutsideRaiseInvalidLine) {
    TMaskBuffer mask(5, 2);
    EXPECT_EQ(mask.Stride(), 8);
    EXPECT_EQ(mask.Bytes().size(), 16u);
    EXPECT_NO_THROW(mask.Line(1));
    EXPECT_THROW(mask.Line(2), EInvalidLine);
    EXPECT_THROW(mask.Line(-1), EInvalidLine);
    try {
        mask.Line(2);
    } catch (const EInvalidLine& e) {
        EXPECT_STREQ(e.what(), "Invalid line!");
    }
}

TEST(ReduceMask, FullBlocksAtEachScale) {
    // 254 at scale 3: its corner weights are a half, and the sum is shifted by 3.
    const int expected[] = {255, 254, 255, 255};
    for (TAAQuality q : {aqHigh, aqNormal, aqLow, aqNone}) {
        const int s = QualityScale(q);
        std::vector<uint8_t> rendering(static_cast<size_t>(8 * 2 * s), 255);
        TMaskBuffer mask(2, 2 * s / s);
        ReduceMask(rendering.data(), 8, s, mask);
        EXPECT_EQ(mask.At(0, 0), expected[q]) << "scale " << s;
        EXPECT_EQ(mask.At(1, 1), expected[q]) << "scale " << s;
    }
}

TEST(ReduceMask, ScaleThreeHalvesTopRightAndBottomLeft) {
    // A 6 x 3 rendering: the first block lit only at its top-right, the second at its top-left.
    std::vector<uint8_t> rendering(8 * 3, 0);
    rendering[2] = 255;
    rendering[3] = 255;
    TMaskBuffer mask(2, 1);
    ReduceMask(rendering.data(), 8, 3, mask);
    EXPECT_EQ(Row(mask, 0), (std::vector<int>{127 >> 3, 255 >> 3}));
}

TEST(OutlineMask, SmallMasksAndBordersStayAndValuesComeFromTheCopy) {
    const int shapes[][2] = {{1, 1}, {2, 2}, {5, 1}, {5, 2}, {1, 5}, {2, 5}};
    for (const auto& [w, h] : shapes) {
        {
            TMaskBuffer mask(w, h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    mask.At(x, y) = static_cast<uint8_t>(40 * x + 7 * y);
            const TMaskBuffer before = mask;
            OutlineMask(mask);
            EXPECT_EQ(mask.Bytes(), before.Bytes()) << w << " x " << h;
        }
    }

    // An edge between columns 0 and 1; computing in place would make the second pixel 16.
    TMaskBuffer mask = MaskOf(4, {0, 255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255});
    OutlineMask(mask);
    EXPECT_EQ(Row(mask, 0), (std::vector<int>{0, 255, 255, 255}));
    EXPECT_EQ(Row(mask, 1), (std::vector<int>{0, 191, 0, 255}));
    EXPECT_EQ(Row(mask, 2), (std::vector<int>{0, 255, 255, 255}));
}

TEST(SprayMask, DrawsInOrderClampsAndWorksInPlace) {
    TMaskBuffer mask = MaskOf(3, {10, 20, 30});
    TScriptedRandom random;
    // Pixel 0: b = 1, sx = 0 + 1 - 0 = 1, sy = 0 + 1 - 0 clamped to 0.
    // Pixel 1: b = 1, sx = 1 + 1 - 1 = 1, sy = 1 clamped to 0: itself.
    // Pixel 2: b = 1, sx = 2 + 1 - 2 = 1 (already 20 from pixel 1).
    random.Answers = {1, 0, 0, 1, 1, 0, 1, 2, 0};
    SprayMask(mask, 1, random.Function());
    EXPECT_EQ(Row(mask, 0), (std::vector<int>{20, 20, 20}));
    EXPECT_EQ(random.Ranges, (std::vector<int>{2, 2, 2, 2, 2, 2, 2, 2, 2}));

    // b = 0 asks for random(0) twice and keeps the pixel.
    TMaskBuffer single = MaskOf(1, {99});
    random.Ranges.clear();
    random.Answers = {0};
    SprayMask(single, 5, random.Function());
    EXPECT_EQ(single.At(0, 0), 99);
    EXPECT_EQ(random.Ranges, (std::vector<int>{6, 0, 0}));
}

TEST(MirrorMask, ReversesRowsAndSwapsLinesWithoutTouchingPadding) {
    TMaskBuffer mask = MaskOf(3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    mask.Line(0)[3] = 77; // padding
    MirrorMaskHorizontally(mask);
    EXPECT_EQ(Row(mask, 0), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(mask.Line(0)[3], 77);
    MirrorMaskVertically(mask);
    EXPECT_EQ(Row(mask, 0), (std::vector<int>{9, 8, 7}));
    EXPECT_EQ(Row(mask, 1), (std::vector<int>{6, 5, 4}));
    EXPECT_EQ(Row(mask, 2), (std::vector<int>{3, 2, 1}));
}

TEST(BlurMask, FactorRoundsTiesToEven) {
    EXPECT_EQ(BlurFactor(100), 255);
    EXPECT_EQ(BlurFactor(80), 204);
    EXPECT_EQ(BlurFactor(50), 128); // 127.5
    EXPECT_EQ(BlurFactor(30), 76);  // 76.5
    EXPECT_EQ(BlurFactor(10), 26);  // 25.5
}

TEST(BlurMask, FullStrengthIsTheBoxAverageWithEdgesReplicated) {
    TMaskBuffer mask(7, 7);
    mask.At(3, 3) = 255;
    BlurMask(mask, 100);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) {
            const bool inside = std::abs(x - 3) <= 2 && std::abs(y - 3) <= 2;
            EXPECT_EQ(mask.At(x, y), inside ? 10 : 0) << x << "," << y;
        }

    // A corner pixel counts 3 x 3 times at the corner and 2 x 2 times one pixel in.
    TMaskBuffer corner(5, 5);
    corner.At(0, 0) = 250;
    BlurMask(corner, 100);
    EXPECT_EQ(corner.At(0, 0), 90);
    EXPECT_EQ(corner.At(1, 1), 40);
    EXPECT_EQ(corner.At(2, 2), 10);
    EXPECT_EQ(corner.At(3, 3), 0);
}

TEST(BlurMask, OneRowOrColumnBlursAlongItOnly) {
    TMaskBuffer row = MaskOf(7, {0, 0, 0, 250, 0, 0, 0});
    BlurMask(row, 100);
    EXPECT_EQ(Row(row, 0), (std::vector<int>{0, 50, 50, 50, 50, 50, 0}));

    TMaskBuffer column = MaskOf(1, {250, 0, 0});
    BlurMask(column, 100);
    EXPECT_EQ(Column(column, 0), (std::vector<int>{150, 100, 50}));

    for (int w : {1, 2, 3, 4})
        for (int h : {1, 2, 3, 4}) {
            TMaskBuffer small(w, h);
            for (auto y = 0; y < h; ++y)
                for (auto x = 0; x < w; ++x)
                    small.At(x, y) = 200;
            BlurMask(small, 100);
            for (auto y = 0; y < h; ++y)
                for (auto x = 0; x < w; ++x)
                    EXPECT_EQ(small.At(x, y), 200) << w << " x " << h;
        }
}

TEST(BlurMask, EqualsTheDirectFiveByFiveAverageAtEverySizeAndStrength) {
    // The window summed pixel by pixel, edges replicated: what the blur must keep producing.
    auto direct = [](const TMaskBuffer& in, int strength) {
        const int f = BlurFactor(strength);
        TMaskBuffer out = in;
        for (int y = 0; y < in.Height(); ++y)
            for (int x = 0; x < in.Width(); ++x) {
                int sum = 0;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        sum += in.At(std::clamp(x + dx, 0, in.Width() - 1),
                                     std::clamp(y + dy, 0, in.Height() - 1));
                const int a = (sum + 12) / 25, m = in.At(x, y);
                out.At(x, y) = static_cast<uint8_t>(f == 255 ? a : m + (((a - m) * f) >> 8));
            }
        return out;
    };
    unsigned seed = 12345;
    for (int w : {1, 2, 3, 5, 6, 9, 41})
        for (int h : {1, 2, 4, 5, 7, 13})
            for (int strength : {100, 80, 30}) {
                TMaskBuffer mask(w, h);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        seed = seed * 1103515245u + 12345u;
                        mask.At(x, y) = static_cast<uint8_t>(seed >> 16);
                    }
                const TMaskBuffer expected = direct(mask, strength);
                BlurMask(mask, strength);
                ASSERT_EQ(mask.Bytes(), expected.Bytes()) << w << " x " << h << " at " << strength;
            }
}

TEST(BlurMask, PartialStrengthMixesWithFloorBothWays) {
    TMaskBuffer mask(5, 5);
    mask.At(2, 2) = 255;
    BlurMask(mask, 80);
    // 0 + floor(10 * 204 / 256) = 7; 255 + floor(-245 * 204 / 256) = 255 - 196.
    EXPECT_EQ(mask.At(0, 0), 7);
    EXPECT_EQ(mask.At(2, 2), 59);
}

TEST(Blend, WeightsFromAlphaAndCoverage) {
    TColorBuffer work(4, 1);
    work.Fill(RgbColor(255, 0, 100));
    const TMaskBuffer mask = MaskOf(4, {255, 255, 0, 128});
    BlendColor(work.Pixels(), mask, 100, RgbColor(0, 255, 100));
    EXPECT_EQ(work.ColorAt(0, 0), RgbColor(0, 255, 100));
    EXPECT_EQ(work.ColorAt(2, 0), RgbColor(255, 0, 100));
    // Weight 128: 255 + floor(-255 * 128 / 256) = 127, 0 + floor(255 * 128 / 256) = 127.
    EXPECT_EQ(work.ColorAt(3, 0), RgbColor(127, 127, 100));

    // Alpha 70: k = 179, weight floor(255 * 179 / 256) = 178; down to 255 - 178, up to 177.
    work.Fill(RgbColor(255, 0, 100));
    BlendColor(work.Pixels(), mask, 70, RgbColor(0, 255, 100));
    EXPECT_EQ(work.ColorAt(0, 0), RgbColor(77, 177, 100));
}

TEST(Blend, BitmapTakesEachPixelsColourAndMustMatchTheMask) {
    TColorBuffer work(2, 1), fore(2, 1);
    fore.Fill(RgbColor(1, 2, 3));
    fore.Pixel(1, 0)[2] = 200;
    const TMaskBuffer mask = MaskOf(2, {255, 255});
    BlendBitmap(work.Pixels(), mask, 100, fore.Pixels());
    EXPECT_EQ(work.ColorAt(0, 0), RgbColor(1, 2, 3));
    EXPECT_EQ(work.ColorAt(1, 0), RgbColor(200, 2, 3));

    TColorBuffer wrong(3, 1);
    EXPECT_THROW(BlendBitmap(work.Pixels(), mask, 100, wrong.Pixels()), EInvalidForeBmp);
    try {
        BlendBitmap(work.Pixels(), MaskOf(2, {1, 1, 1, 1}), 100, fore.Pixels());
        ADD_FAILURE() << "a foreground of another height was taken";
    } catch (const EInvalidForeBmp& e) {
        EXPECT_STREQ(e.what(), "Invalid foreground bitmap!");
    }
}

TEST(GradientFill, CentreStylesMirrorAndStepsTruncate) {
    // gsCenterToLR goes from the end colour at both sides to the start colour in the middle.
    TColorBuffer bitmap(5, 2);
    GradientFill(bitmap.Pixels(), gsCenterToLR, RgbColor(90, 150, 255), RgbColor(100, 0, 0));
    const TColorValue e0 = RgbColor(100, 0, 0), e1 = RgbColor(100 + (90 - 100) * 1 / 3, 50, 85),
                      e2 = RgbColor(100 + (90 - 100) * 2 / 3, 100, 170);
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(bitmap.ColorAt(0, y), e0);
        EXPECT_EQ(bitmap.ColorAt(1, y), e1);
        EXPECT_EQ(bitmap.ColorAt(2, y), e2);
        EXPECT_EQ(bitmap.ColorAt(3, y), e1);
        EXPECT_EQ(bitmap.ColorAt(4, y), e0);
    }
    EXPECT_EQ(RedOf(e1), 97); // truncated toward zero, not floored

    TColorBuffer even(4, 1);
    GradientFill(even.Pixels(), gsCenterToLR, RgbColor(200, 0, 0), RgbColor(0, 0, 0));
    EXPECT_EQ(even.ColorAt(1, 0), RgbColor(100, 0, 0));
    EXPECT_EQ(even.ColorAt(2, 0), RgbColor(100, 0, 0));
    EXPECT_EQ(even.ColorAt(3, 0), RgbColor(0, 0, 0));
}

TEST(GradientFill, DirectionsOfTheLinearStyles) {
    TColorBuffer h(4, 1);
    GradientFill(h.Pixels(), gsLeftToRight, RgbColor(0, 0, 0), RgbColor(200, 0, 0));
    EXPECT_EQ(h.ColorAt(0, 0), RgbColor(0, 0, 0));
    EXPECT_EQ(h.ColorAt(3, 0), RgbColor(150, 0, 0));
    GradientFill(h.Pixels(), gsRightToLeft, RgbColor(0, 0, 0), RgbColor(200, 0, 0));
    EXPECT_EQ(h.ColorAt(0, 0), RgbColor(200, 0, 0));
    EXPECT_EQ(h.ColorAt(3, 0), RgbColor(50, 0, 0));

    TColorBuffer v(3, 4);
    GradientFill(v.Pixels(), gsTopToBottom, RgbColor(0, 0, 0), RgbColor(0, 200, 0));
    EXPECT_EQ(v.ColorAt(2, 0), RgbColor(0, 0, 0));
    EXPECT_EQ(v.ColorAt(0, 3), RgbColor(0, 150, 0));
    GradientFill(v.Pixels(), gsBottomToTop, RgbColor(0, 0, 0), RgbColor(0, 200, 0));
    EXPECT_EQ(v.ColorAt(1, 0), RgbColor(0, 200, 0));
    EXPECT_EQ(v.ColorAt(1, 3), RgbColor(0, 50, 0));

    TColorBuffer one(1, 1);
    GradientFill(one.Pixels(), gsCenterToTB, RgbColor(1, 2, 3), RgbColor(4, 5, 6));
    EXPECT_EQ(one.ColorAt(0, 0), RgbColor(4, 5, 6));
}

TEST(TexturePlacements, EachMode) {
    const auto tiles = TexturePlacements(tmTiled, 10, 5, 4, 4);
    ASSERT_EQ(tiles.size(), 6u);
    EXPECT_EQ(tiles.front(), (TPlacement{0, 0, 4, 4}));
    EXPECT_EQ(tiles.back(), (TPlacement{8, 4, 4, 4}));
    EXPECT_EQ(TexturePlacements(tmStretched, 10, 5, 4, 4),
              (std::vector<TPlacement>{{0, 0, 10, 5}}));
    EXPECT_EQ(TexturePlacements(tmCenter, 10, 5, 13, 2), (std::vector<TPlacement>{{-1, 1, 13, 2}}));
    EXPECT_EQ(TexturePlacements(tmNormal, 10, 5, 13, 2), (std::vector<TPlacement>{{0, 0, 13, 2}}));
    EXPECT_TRUE(TexturePlacements(tmTiled, 10, 5, 0, 4).empty());
}

TEST(Noise, OrderOfDrawsAndClamping) {
    TColorBuffer bitmap(1, 1);
    TScriptedRandom random;
    random.Answers = {0, 9, 5};
    // Red, green, blue drawn in that order; half the amplitude (5) is taken off each.
    NoiseFill(bitmap.Pixels(), RgbColor(2, 250, 100), 10, random.Function());
    EXPECT_EQ(bitmap.ColorAt(0, 0), RgbColor(0, 254, 100));

    // Over a picture: byte by byte in memory order, blue first.
    bitmap.Fill(RgbColor(10, 20, 30));
    random.Answers = {0, 10, 20};
    AddNoise(bitmap.Pixels(), 21, random.Function());
    EXPECT_EQ(bitmap.ColorAt(0, 0), RgbColor(20, 20, 20));
    EXPECT_EQ(random.Ranges.size(), 6u);
}
