#include "EngineBefore.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/Dib.h"

namespace {

constexpr int kScale = 3;

uint8_t Mix(int p, int c, int w) {
    return static_cast<uint8_t>(p + (((c - p) * w) >> 8));
}

int BlendWeight(int coverage, int alpha) {
    const int k = alpha * 256 / 100;
    return coverage * k / 256;
}

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

void ReduceMask(const uint8_t* rendering, int stride, int scale, TMaskBuffer& mask) {
    for (int y = 0; y < mask.Height(); ++y) {
        uint8_t* out = mask.Line(y);
        const uint8_t* a = rendering + static_cast<size_t>(y) * scale * stride;
        for (int x = 0; x < mask.Width(); ++x) {
            const uint8_t* p = a + x * scale;
            int value = 0;
            switch (scale) {
            case 4:
                for (int r = 0; r < 4; ++r)
                    for (int c = 0; c < 4; ++c)
                        value += p[r * stride + c];
                value >>= 4;
                break;
            case 3: {
                const uint8_t* b = p + stride;
                const uint8_t* c = b + stride;
                value =
                    (p[0] + p[1] + (p[2] >> 1) + b[0] + b[1] + b[2] + (c[0] >> 1) + c[1] + c[2]) >>
                    3;
                break;
            }
            case 2:
                value = (p[0] + p[1] + p[stride] + p[stride + 1]) >> 2;
                break;
            default:
                value = p[0];
                break;
            }
            out[x] = static_cast<uint8_t>(value);
        }
    }
}

void OutlineMask(TMaskBuffer& mask) {
    const int w = mask.Width(), h = mask.Height();
    if (w < 3 || h < 3) return;
    const TMaskBuffer before = mask;
    for (int y = 1; y < h - 1; ++y) {
        const uint8_t* u = before.Line(y - 1);
        const uint8_t* m = before.Line(y);
        const uint8_t* d = before.Line(y + 1);
        uint8_t* out = mask.Line(y);
        for (int x = 1; x < w - 1; ++x) {
            const int sum = std::abs(d[x] - u[x]) + std::abs(m[x + 1] - m[x - 1]) +
                            std::abs(d[x - 1] - u[x + 1]) + std::abs(d[x + 1] - u[x - 1]);
            out[x] = static_cast<uint8_t>(std::min(sum >> 2, 255));
        }
    }
}

void FiveSums(const int* values, int count, int step, int* sums, int sumStep) {
    for (int i = 0; i < count; ++i) {
        int sum = 0;
        for (int d = -2; d <= 2; ++d)
            sum += values[std::clamp(i + d, 0, count - 1) * step];
        sums[i * sumStep] = sum;
    }
}

// At strength 100 only.
void BlurMask(TMaskBuffer& mask) {
    const int w = mask.Width(), h = mask.Height();
    std::vector<int> values(static_cast<size_t>(w) * h), rowSums(values.size()),
        sums(values.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            values[static_cast<size_t>(y) * w + x] = mask.At(x, y);
    for (int y = 0; y < h; ++y)
        FiveSums(&values[static_cast<size_t>(y) * w], w, 1, &rowSums[static_cast<size_t>(y) * w],
                 1);
    for (int x = 0; x < w; ++x)
        FiveSums(&rowSums[x], h, w, &sums[x], w);
    for (int y = 0; y < h; ++y) {
        uint8_t* out = mask.Line(y);
        for (int x = 0; x < w; ++x)
            out[x] = static_cast<uint8_t>((sums[static_cast<size_t>(y) * w + x] + 12) / 25);
    }
}

void BlendColor(const TColorPixels& work, const TMaskBuffer& mask, int alpha, COLORREF color) {
    const int w = std::min(work.Width, mask.Width()), h = std::min(work.Height, mask.Height());
    for (int y = 0; y < h; ++y) {
        const uint8_t* m = mask.Line(y);
        uint8_t* p = work.Line(y);
        for (int x = 0; x < w; ++x, p += 3)
            BlendPixel(p, BlendWeight(m[x], alpha), GetBValue(color), GetGValue(color),
                       GetRValue(color));
    }
}

} // namespace

TEngineBefore::~TEngineBefore() {
    if (!FDc) return;
    if (FOriginalFont) SelectObject(FDc.Get(), FOriginalFont);
    if (FOriginalBitmap) SelectObject(FDc.Get(), FOriginalBitmap);
}

void TEngineBefore::Render(const LOGFONTW& font, const std::wstring& text, const TTextBox& box) {
    FMask.SetSize(box.Width, box.Height);
    if (!FDc) {
        FDc.Reset(CreateCompatibleDC(nullptr));
        SetTextColor(FDc.Get(), RGB(255, 255, 255));
        SetBkMode(FDc.Get(), TRANSPARENT);
        SetTextAlign(FDc.Get(), TA_LEFT | TA_TOP | TA_NOUPDATECP);
    }
    LOGFONTW scaled = font;
    scaled.lfHeight *= kScale;
    scaled.lfWidth *= kScale;
    if (!FFont || std::memcmp(&scaled, &FFontKey, sizeof scaled) != 0) {
        ScopedFont next(CreateFontIndirectW(&scaled));
        HGDIOBJ old = SelectObject(FDc.Get(), next.Get());
        if (!FOriginalFont) FOriginalFont = old;
        FFont = std::move(next);
        FFontKey = scaled;
    }
    const int width = box.Width * kScale, height = box.Height * kScale;
    const int stride = PaddedStride(width);
    if (!FRendering || FRenderingWidth != width || FRenderingHeight != height) {
        RGBQUAD colors[256];
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<BYTE>(i);
            colors[i] = RGBQUAD{v, v, v, 0};
        }
        void* raw = nullptr;
        ScopedBitmap next = CreateTopDownDib(width, height, 8, &raw, colors, 256);
        HGDIOBJ old = SelectObject(FDc.Get(), next.Get());
        if (!FOriginalBitmap) FOriginalBitmap = old;
        FRendering = std::move(next);
        FRenderingBits = static_cast<uint8_t*>(raw);
        FRenderingWidth = width;
        FRenderingHeight = height;
    }
    GdiFlush();
    std::memset(FRenderingBits, 0, static_cast<size_t>(stride) * height);
    TextOutW(FDc.Get(), box.StartX * kScale, box.StartY * kScale, text.c_str(),
             static_cast<int>(text.size()));
    GdiFlush();
    ReduceMask(FRenderingBits, stride, kScale, FMask);
}

void TEngineBefore::DrawLabel(TCanvas& canvas, int x, int y, const std::wstring& text,
                              const TTextBox& box) {
    Render(canvas.Font().LogFont(), text, box);
    if (FMask.Empty()) return;
    OutlineMask(FMask);
    const int width = FMask.Width() + 2, height = FMask.Height() + 2;
    FWork.SetSize(width, height);
    {
        TBitmapDc dc(FWork.Handle());
        BitBlt(dc.Get(), 0, 0, width, height, canvas.Handle(), x, y, SRCCOPY);
    }
    const TColorPixels all = FWork.Pixels();
    TMaskBuffer shadowMask = FMask;
    BlurMask(shadowMask);
    BlendColor(TColorPixels{all.Line(2) + 6, all.Width - 2, all.Height - 2, all.Stride}, shadowMask,
               70, 0);
    BlendColor(all, FMask, 100, ResolveColor(canvas.Font().Color()));
    GdiFlush();
    TBitmapDc dc(FWork.Handle());
    BitBlt(canvas.Handle(), x, y, width, height, dc.Get(), 0, 0, SRCCOPY);
}
