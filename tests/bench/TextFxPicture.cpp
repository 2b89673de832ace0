// Draws the main window's two labels ("×内网" inactive, "√外网" active) with the main window's
// text settings over a landscape, at 100% and enlarged 4 times, into a 24-bit BMP file for
// people to look at:  textfx_picture.exe <file.bmp>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "framework/Canvas.h"
#include "framework/Scoped.h"
#include "textfx/AAText.h"
#include "textfx/DibBitmap.h"

namespace {

constexpr int Width = 240, Height = 64, Zoom = 4;

// Sky above a horizon, hills below, all in gentle gradients.
void PaintLandscape(const TColorPixels& pixels) {
    for (int y = 0; y < pixels.Height; ++y) {
        uint8_t* p = pixels.Line(y);
        for (int x = 0; x < pixels.Width; ++x, p += 3) {
            const int hill = 36 + (x * 7 % 97 < 48 ? x * 7 % 97 : 97 - x * 7 % 97) / 6;
            if (y < hill) {
                p[0] = static_cast<uint8_t>(235 - y);
                p[1] = static_cast<uint8_t>(150 + y);
                p[2] = static_cast<uint8_t>(90 + y * 2);
            } else {
                p[0] = static_cast<uint8_t>(40 + x / 8);
                p[1] = static_cast<uint8_t>(120 - (y - hill));
                p[2] = static_cast<uint8_t>(60 + x / 6);
            }
        }
    }
}

void DrawLabel(TCanvas& canvas, TAATextEx& engine, int x, int y, const std::wstring& caption,
               COLORREF color) {
    canvas.Font().SetColor(color);
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    engine.DrawEffectText(x, y, caption);
}

bool SaveBmp(const TColorPixels& pixels, const char* path) {
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = pixels.Width;
    info.biHeight = -pixels.Height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD bytes = static_cast<DWORD>(pixels.Stride) * pixels.Height;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + bytes;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(reinterpret_cast<const char*>(pixels.Bits), bytes);
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: textfx_picture <file.bmp>\n");
        return 2;
    }
    TDibBitmap scene;
    scene.SetSize(Width, Height);
    PaintLandscape(scene.Pixels());
    {
        TBitmapDc dc(scene.Handle());
        TCanvas canvas(dc.Get());
        canvas.Font().SetName(L"黑体");
        canvas.Font().SetHeight(37);
        canvas.Font().SetCharset(GB2312_CHARSET);
        TAATextEx engine(&canvas);
        engine.Effect().Shadow().SetEnabled(true);
        engine.Effect().Shadow().SetBlur(100);
        engine.Effect().Shadow().SetColor(0);
        engine.Effect().Gradual().SetStyle(gsTopToBottom);
        engine.Effect().Gradual().SetStartColor(RGB(0, 255, 0));
        engine.Effect().Gradual().SetEndColor(RGB(0, 255, 0));
        engine.Effect().SetOutline(true);
        DrawLabel(canvas, engine, 8, 10, L"×内网", RGB(255, 255, 255));
        DrawLabel(canvas, engine, 124, 10, L"√外网", RGB(0, 255, 0));
        wchar_t face[LF_FACESIZE] = {};
        const ScopedSelectObject font(dc.Get(), canvas.Font().Handle());
        GetTextFaceW(dc.Get(), LF_FACESIZE, face);
        std::fprintf(stderr, "font face: %ls, label extent %ld x %ld\n", face,
                     engine.TextExtent(L"×内网").cx, engine.TextExtent(L"×内网").cy);
    }

    // The scene, then below it the same enlarged 4 times with every pixel kept sharp.
    TDibBitmap sheet;
    sheet.SetSize(Width * Zoom, Height * (Zoom + 1) + 8);
    const TColorPixels out = sheet.Pixels(), in = scene.Pixels();
    for (int y = 0; y < out.Height; ++y)
        std::fill(out.Line(y), out.Line(y) + 3 * out.Width, uint8_t{64});
    for (int y = 0; y < Height; ++y)
        std::copy(in.Line(y), in.Line(y) + 3 * Width, out.Line(y));
    for (int y = 0; y < Height * Zoom; ++y) {
        const uint8_t* src = in.Line(y / Zoom);
        uint8_t* dst = out.Line(Height + 8 + y);
        for (int x = 0; x < Width * Zoom; ++x)
            std::copy(src + 3 * (x / Zoom), src + 3 * (x / Zoom) + 3, dst + 3 * x);
    }
    return SaveBmp(out, argv[1]) ? 0 : 1;
}
