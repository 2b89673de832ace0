#include "framework/JpegPicture.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <string>

#include "framework/Dib.h"
#include "framework/Exception.h"

using Microsoft::WRL::ComPtr;

namespace {
// 8192 x 8192: far beyond any picture the program shows, and a few hundred megabytes at most.
constexpr uint64_t kMaxPixels = uint64_t{1} << 26;

[[noreturn]] void Fail(const std::wstring& what) {
    throw Exception(L"JPEG error: " + what);
}

void Check(HRESULT hr) {
    if (FAILED(hr)) Fail(SystemErrorMessage(hr));
}

// The size a JPEG's frame header gives, found by walking its markers; none when the data has
// no frame header before its picture data.
bool FrameSize(const uint8_t* data, size_t size, uint64_t& width, uint64_t& height) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
    size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) return false;
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        const size_t length = size_t{data[at + 2]} << 8 | data[at + 3];
        // SOF0 to SOF15, except DHT (C4), JPG (C8) and DAC (CC).
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            if (at + 9 > size) return false;
            height = uint64_t{data[at + 5]} << 8 | data[at + 6];
            width = uint64_t{data[at + 7]} << 8 | data[at + 8];
            return true;
        }
        if (marker == 0xDA || length < 2) return false; // picture data before any frame
        at += 2 + length;
    }
    return false;
}

// COM for the imaging component: the caller's apartment, or one of its own for the call.
class TComForCall {
public:
    TComForCall() : FOwn(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~TComForCall() {
        if (FOwn) CoUninitialize();
    }
    TComForCall(const TComForCall&) = delete;
    TComForCall& operator=(const TComForCall&) = delete;

private:
    bool FOwn;
};
} // namespace

void TJpegPicture::LoadFromMemory(const uint8_t* data, size_t size) {
    if (!data || size == 0) Fail(L"no data");
    if (size > MAXDWORD) Fail(L"too much data");
    // Checked before the platform's decoder sees it: one may decode the whole picture as soon
    // as it is opened (Wine's does).
    uint64_t claimedWidth = 0, claimedHeight = 0;
    if (!FrameSize(data, size, claimedWidth, claimedHeight)) Fail(L"no JPEG frame header");
    if (claimedWidth * claimedHeight > kMaxPixels)
        Fail(L"picture of " + std::to_wstring(claimedWidth) + L" x " +
             std::to_wstring(claimedHeight) + L" pixels is too large");
    // Windows decodes JPEG itself, through the Windows Imaging Component.
    const TComForCall com;
    ComPtr<IWICImagingFactory> factory;
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_PPV_ARGS(&factory)));
    ComPtr<IWICStream> stream;
    Check(factory->CreateStream(&stream));
    Check(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size)));
    // A JPEG decoder, not whichever the data looks like to the platform.
    ComPtr<IWICBitmapDecoder> decoder;
    Check(factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, &decoder));
    Check(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand));
    ComPtr<IWICBitmapFrameDecode> frame;
    Check(decoder->GetFrame(0, &frame));
    UINT width = 0, height = 0;
    Check(frame->GetSize(&width, &height));
    // A damaged header may claim up to 65 500 x 65 500 pixels; nothing that large is allocated.
    if (width == 0 || height == 0 || uint64_t{width} * height > kMaxPixels)
        Fail(L"picture of " + std::to_wstring(width) + L" x " + std::to_wstring(height) +
             L" pixels is too large");
    ComPtr<IWICFormatConverter> converter;
    Check(factory->CreateFormatConverter(&converter));
    Check(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                                nullptr, 0.0, WICBitmapPaletteTypeCustom));

    void* bits = nullptr;
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    ScopedBitmap bitmap = CreateTopDownDib(w, h, 24, &bits);
    if (!bitmap)
        throw Exception(L"Out of memory for a " + std::to_wstring(w) + L" x " + std::to_wstring(h) +
                        L" picture");
    const UINT stride = (width * 3 + 3) & ~3u;
    // Rows of blue, green, red, padded to four bytes: the DIB's own layout.
    Check(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)));
    FBitmap = std::move(bitmap);
    FPixels = static_cast<uint8_t*>(bits);
    FWidth = w;
    FHeight = h;
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
