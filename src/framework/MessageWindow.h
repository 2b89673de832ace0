#pragma once
// A hidden window that only receives messages (timers, hand-overs from other threads).
#include <windows.h>

// Registers the class on first use and creates a message-only window of it; nullptr on
// failure, with GetLastError set.
HWND CreateMessageWindow(const wchar_t* className, WNDPROC windowProc);
