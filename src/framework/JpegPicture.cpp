#include "framework/JpegPicture.h"

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/Dib.h"
#include "framework/Exception.h"
#include "framework/Strings.h"

extern "C" {
#include <jpeglib.h>
}

namespace {
// libjpeg's default error handler ends the process. This one jumps back to the decoder,
// which turns the message into an exception once libjpeg's frames are gone.
struct JpegErrorManager {
    jpeg_error_mgr Public;
    jmp_buf Escape;
    char Message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->Message);
    longjmp(errors->Escape, 1);
}

void QuietWarning(j_common_ptr, int) {}

// 8192 x 8192: far beyond any picture the program shows, and a few hundred megabytes at most.
constexpr uint64_t kMaxPixels = uint64_t{1} << 26;

struct DecodedImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgb; // tightly packed red, green, blue
};

// No object with a destructor may live in this frame across the longjmp, so the decoded
// image is written through a pointer and the error comes back as the answer.
bool Decode(const uint8_t* data, size_t size, DecodedImage* image, JpegErrorManager* errors) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&errors->Public);
    errors->Public.error_exit = ErrorExit;
    errors->Public.emit_message = QuietWarning;
    if (setjmp(errors->Escape)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    // A damaged header may claim up to 65 500 x 65 500 pixels; nothing that large is allocated.
    if (static_cast<uint64_t>(info.image_width) * info.image_height > kMaxPixels) {
        std::snprintf(errors->Message, sizeof errors->Message,
                      "picture of %u x %u pixels is too large", info.image_width,
                      info.image_height);
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image->Width = static_cast<int>(info.output_width);
    image->Height = static_cast<int>(info.output_height);
    image->Rgb.resize(static_cast<size_t>(image->Width) * image->Height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row =
            image->Rgb.data() + static_cast<size_t>(info.output_scanline) * image->Width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}
} // namespace

void TJpegPicture::LoadFromMemory(const uint8_t* data, size_t size) {
    if (!data || size == 0) throw Exception(L"JPEG error: no data");
    DecodedImage image;
    JpegErrorManager errors{};
    if (!Decode(data, size, &image, &errors))
        throw Exception(L"JPEG error: " + Widen(errors.Message, CP_ACP));

    void* bits = nullptr;
    ScopedBitmap bitmap = CreateTopDownDib(image.Width, image.Height, 24, &bits);
    if (!bitmap)
        throw Exception(L"Out of memory for a " + std::to_wstring(image.Width) + L" x " +
                        std::to_wstring(image.Height) + L" picture");
    const size_t stride = (static_cast<size_t>(image.Width) * 3 + 3) & ~size_t{3};
    auto* out = static_cast<uint8_t*>(bits);
    for (int y = 0; y < image.Height; ++y) {
        const uint8_t* src = image.Rgb.data() + static_cast<size_t>(y) * image.Width * 3;
        uint8_t* dst = out + static_cast<size_t>(y) * stride;
        for (int x = 0; x < image.Width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    FBitmap = std::move(bitmap);
    FPixels = out;
    FWidth = image.Width;
    FHeight = image.Height;
    static unsigned loads = 0;
    FStamp = ++loads;
}

void TJpegPicture::LoadFromResource(LPCWSTR name) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(module, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL handle = info ? LoadResource(module, info) : nullptr;
    const void* data = handle ? LockResource(handle) : nullptr;
    if (!data) throw Exception(L"Picture resource not found");
    LoadFromMemory(static_cast<const uint8_t*>(data), SizeofResource(module, info));
}

void TJpegPicture::StretchDraw(HDC dc, const RECT& r) const {
    if (!FBitmap) return;
    ScopedMemoryDc source(CreateCompatibleDC(dc));
    ScopedSelectObject select(source.Get(), FBitmap.Get());
    const int width = r.right - r.left, height = r.bottom - r.top;
    // At its own size the picture is copied pixel for pixel: resampling would only blur it.
    if (width == FWidth && height == FHeight) {
        BitBlt(dc, r.left, r.top, width, height, source.Get(), 0, 0, SRCCOPY);
        return;
    }
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, r.left, r.top, width, height, source.Get(), 0, 0, FWidth, FHeight, SRCCOPY);
}
