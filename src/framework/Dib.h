#pragma once
// Device-independent bitmaps the program's pixel work writes into directly.
#include <windows.h>

#include "framework/Scoped.h"

// A top-down DIB section of width x height at bitCount bits per pixel, with its colour table
// for 8 bits (colors may be null otherwise). Empty when the system refuses; *bits then null.
ScopedBitmap CreateTopDownDib(int width, int height, WORD bitCount, void** bits,
                              const RGBQUAD* colors = nullptr, int colorCount = 0);
