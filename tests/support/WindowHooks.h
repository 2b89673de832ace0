#pragma once
// Watching and bending the windows a test's code creates on this thread.
#include <windows.h>

#include <string>

// A CBT hook on this thread: counts the requests to minimise a window and, with extraFrame,
// gives the program's windows a frame that much larger on every side (and a caption twice
// that much taller) than the one AdjustWindowRectEx predicts, as themes and scaled captions do.
class WindowHooks {
public:
    explicit WindowHooks(int extraFrame = 0) : FExtraFrame(extraFrame) {
        Current = this;
        FHook = SetWindowsHookExW(WH_CBT, &Cbt, nullptr, GetCurrentThreadId());
    }
    ~WindowHooks() {
        UnhookWindowsHookEx(FHook);
        Current = nullptr;
    }
    WindowHooks(const WindowHooks&) = delete;
    WindowHooks& operator=(const WindowHooks&) = delete;
    int Minimises = 0;

private:
    static LRESULT CALLBACK Cbt(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_MINMAX) {
            const int command = LOWORD(lParam);
            if (command == SW_MINIMIZE || command == SW_SHOWMINIMIZED ||
                command == SW_SHOWMINNOACTIVE || command == SW_FORCEMINIMIZE)
                ++Current->Minimises;
        }
        if (code == HCBT_CREATEWND && Current->FExtraFrame) {
            const auto window = reinterpret_cast<HWND>(wParam);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring(name) == L"TarnwickForm")
                ClassProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                    window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WiderFrame)));
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static LRESULT CALLBACK WiderFrame(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        const LRESULT result = CallWindowProcW(ClassProc, window, message, wParam, lParam);
        if (message == WM_NCCALCSIZE && Current) {
            RECT& client = wParam ? reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                                  : *reinterpret_cast<RECT*>(lParam);
            const int extra = Current->FExtraFrame;
            client = RECT{client.left + extra, client.top + 2 * extra, client.right - extra,
                          client.bottom - extra};
        }
        return result;
    }

    static inline WindowHooks* Current = nullptr;
    static inline WNDPROC ClassProc = nullptr;
    HHOOK FHook;
    int FExtraFrame;
};
