#include "framework/Timer.h"

#include "framework/Application.h"
#include "framework/MessageWindow.h"
#include "framework/SharedWindow.h"

// The message-only window of every TTimer of the process.
class TTimerWindow : public TSharedWindow<TTimerWindow, UINT_PTR, TTimer> {
private:
    friend TSharedWindow;
    friend class TTimer;
    TTimerWindow() : TSharedWindow(CreateMessageWindow(L"TarnwickTimer", &WindowProc)) {}
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

LRESULT CALLBACK TTimerWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_TIMER) return DefWindowProcW(window, message, wParam, lParam);
    const auto id = static_cast<UINT_PTR>(wParam);
    TTimer* timer = Find(window, id);
    if (!timer || !timer->FEnabled || !timer->OnTimer || timer->FInHandler) return 0;
    timer->FInHandler = true;
    // A handler may destroy its timer: the call runs on a copy of the handler, and the timer is
    // touched afterwards only while it is still registered (ids are never used twice).
    const auto handler = timer->OnTimer;
    GuardedCall([&] { handler(timer); });
    if (Find(window, id) == timer) timer->FInHandler = false;
    return 0;
}

namespace {
UINT_PTR NextTimerId() {
    static UINT_PTR next = 0;
    return ++next;
}
} // namespace

TTimer::TTimer(TComponent* owner)
    : TComponent(owner), FId(NextTimerId()), FWindow(TTimerWindow::Join(FId, this).Window()) {
    Update();
}

TTimer::~TTimer() {
    KillTimer(FWindow, FId);
    TTimerWindow::Leave(FId);
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
    KillTimer(FWindow, FId);
    if (FEnabled && FInterval > 0) SetTimer(FWindow, FId, FInterval, nullptr);
}
