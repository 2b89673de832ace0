// Another program that takes the instance's names first: the mutex Local\<name>Running and a
// message-only window of class <name>Instance that answers every WM_COPYDATA as a request done.
// Ends on WM_CLOSE. Usage: instance_squatter <name>
#include <windows.h>

#include <string>

#include "framework/MessageWindow.h"

namespace {
LRESULT CALLBACK SquatterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COPYDATA:
        return 1; // what the instance answers for a request done
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    const std::wstring name = argv[1];
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + name + L"Running").c_str());
    if (!mutex) return 1;
    if (!CreateMessageWindow((name + L"Instance").c_str(), &SquatterProc)) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    CloseHandle(mutex);
    return 0;
}
