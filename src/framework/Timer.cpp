#include "framework/Timer.h"

#include "framework/Application.h"
#include "framework/MessageWindow.h"

namespace {
const wchar_t kTimerClass[] = L"TarnwickTimer";
}

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
    FWindow = CreateMessageWindow(kTimerClass, &TTimer::WindowProc);
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Update();
}

TTimer::~TTimer() {
    KillTimer(FWindow, 1);
    DestroyWindow(FWindow);
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == FEnabled) return;
    FEnabled = enabled;
    Update();
}

void TTimer::SetInterval(unsigned interval) {
    if (interval == FInterval) return;
    FInterval = interval;
    Update();
}

void TTimer::Update() {
    KillTimer(FWindow, 1);
    if (FEnabled && FInterval > 0) SetTimer(FWindow, 1, FInterval, nullptr);
}

LRESULT CALLBACK TTimer::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        auto* timer = reinterpret_cast<TTimer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (timer && timer->FEnabled && timer->OnTimer && !timer->FInHandler) {
            timer->FInHandler = true;
            // A handler may destroy its timer, and the window with it: the call runs on a copy
            // of the handler, and the timer is touched afterwards only while its window exists.
            const auto handler = timer->OnTimer;
            GuardedCall([&] { handler(timer); });
            if (IsWindow(window)) timer->FInHandler = false;
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
