// Prints where a top-level window's client area is on the screen, "x y width height", so a
// scenario can aim real pointer input at it. Usage: WindowPosition <class> <title>
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    HWND window = FindWindowW(argv[1], argv[2]);
    if (!window || !IsWindowVisible(window)) return 1;
    RECT client;
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    std::printf("%ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    return 0;
}
