#pragma once
// Layouts are given in pixels at 96 dots per inch and scaled by the window's DPI.
#include <windows.h>

// The DPI of the window, or of the screen when the window is null.
int WindowDpi(HWND window);
inline int ScaleForDpi(int value96, int dpi) {
    return MulDiv(value96, dpi, 96);
}
