#pragma once
// Layouts are given in pixels at 96 dots per inch and scaled by the window's DPI.
#include <windows.h>

#include <functional>

// The DPI of the window, or of the screen when the window is null.
int WindowDpi(HWND window);
// Tests lay windows out for another DPI than the one Wine runs at; null restores the system's;
// answers the function replaced.
std::function<int(HWND)> SetWindowDpiFunction(std::function<int(HWND)> f);
inline int ScaleForDpi(int value96, int dpi) {
    return MulDiv(value96, dpi, 96);
}
