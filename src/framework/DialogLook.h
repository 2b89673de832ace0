#pragma once
// What the program's dialogs share: their font and their place on the screen.
#include <windows.h>

// The dialogs' "MS Sans Serif" of that pixel height, which also shows Chinese.
HFONT DialogFont(int height, int weight);

// Moves a top-level window placed at its designed position into the work area of its monitor
// when it does not fit there.
void PlaceWindow(HWND window, int left, int top);
