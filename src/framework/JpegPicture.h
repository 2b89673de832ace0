#pragma once
// A JPEG picture decoded by Windows (the Windows Imaging Component) into a 24-bit top-down DIB
// section.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "framework/Scoped.h"

class TJpegPicture {
public:
    // Raises Exception, its message beginning "JPEG error: ", when the data is not a JPEG the
    // platform can decode.
    void LoadFromMemory(const uint8_t* data, size_t size);
    // A resource of type RT_RCDATA of the running module.
    void LoadFromResource(LPCWSTR name);

    bool Empty() const { return !FBitmap; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    HBITMAP Bitmap() const { return FBitmap.Get(); }
    // The pixels, rows of Width() * 3 bytes (blue, green, red) padded to four bytes.
    const uint8_t* Pixels() const { return FPixels; }
    // Draws the picture stretched into r of dc; copied unchanged when r has its size.
    void StretchDraw(HDC dc, const RECT& r) const;
    // Different after every load, in every picture: a copy made from the picture can tell
    // whether it still shows it.
    unsigned Stamp() const { return FStamp; }

private:
    ScopedBitmap FBitmap;
    uint8_t* FPixels = nullptr;
    int FWidth = 0;
    int FHeight = 0;
    unsigned FStamp = 0;
};
