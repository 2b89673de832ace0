#include "widgets/SimpleTimer.h"

#include <utility>

#include "framework/Application.h"
#include "framework/MessageWindow.h"

namespace {
const wchar_t kHandlerClass[] = L"TarnwickSimpleTimers";

UINT_PTR NextTimerId() {
    // Ids start far from the small numbers other code passes to SetTimer on its own windows.
    static UINT_PTR next = 0x1000;
    return ++next;
}
} // namespace

TSimpleTimerHandler::TSimpleTimerHandler() {
    // Timers need no input and no broadcasts: a message-only window is enough.
    FWindow = CreateMessageWindow(kHandlerClass, &TSimpleTimerHandler::WindowProc);
}

TSimpleTimerHandler::~TSimpleTimerHandler() {
    DestroyWindow(FWindow);
}

TSimpleTimerHandler& TSimpleTimerHandler::Acquire(TSimpleTimer* timer) {
    if (!FInstance) FInstance = new TSimpleTimerHandler;
    FInstance->FTimers[timer->FId] = timer;
    return *FInstance;
}

void TSimpleTimerHandler::Release(TSimpleTimer* timer) {
    if (!FInstance) return;
    FInstance->FTimers.erase(timer->FId);
    if (FInstance->FTimers.empty()) delete std::exchange(FInstance, nullptr);
}

LRESULT CALLBACK TSimpleTimerHandler::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_TIMER && FInstance && FInstance->FWindow == window) {
        // Looked up, never cast: a tick of a destroyed timer finds nothing.
        const auto it = FInstance->FTimers.find(static_cast<UINT_PTR>(wParam));
        if (it != FInstance->FTimers.end()) it->second->Tick();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TSimpleTimer::TSimpleTimer() : TSimpleTimer(1000, nullptr) {}

TSimpleTimer::TSimpleTimer(int interval, TSimpleTimerEvent onTimer)
    : FId(NextTimerId()), FHandler(TSimpleTimerHandler::Acquire(this)), FInterval(interval),
      FOnTimer(std::move(onTimer)) {}

TSimpleTimer::~TSimpleTimer() {
    Stop(true);
    TSimpleTimerHandler::Release(this);
}

void TSimpleTimer::SetEnabled(bool enabled) {
    if (enabled)
        Start();
    else
        Stop(true);
}

void TSimpleTimer::SetInterval(int interval) {
    if (interval == FInterval) return;
    FInterval = interval;
    if (!FEnabled) return;
    if (interval != 0)
        Start();
    else
        Stop(false);
}

void TSimpleTimer::SetOnTimer(TSimpleTimerEvent onTimer) {
    FOnTimer = std::move(onTimer);
    if (!FOnTimer && FEnabled) Stop(false);
}

bool TSimpleTimer::Start() {
    if (FInterval == 0) return false;
    if (FEnabled) Stop(true);
    if (!SetTimer(FHandler.FWindow, FId, static_cast<UINT>(FInterval), nullptr)) return false;
    FEnabled = true;
    ++FHandler.FRunning;
    return true;
}

bool TSimpleTimer::Stop(bool disable) {
    // Only a timer that runs is counted, so stopping twice does not miscount.
    const bool wasEnabled = FEnabled;
    if (disable) FEnabled = false;
    if (!KillTimer(FHandler.FWindow, FId)) return false;
    if (wasEnabled && FHandler.FRunning > 0) --FHandler.FRunning;
    return true;
}

void TSimpleTimer::Tick() {
    if (FAutoDisable) Stop(true);
    // The handler may destroy this timer: it runs on a copy and nothing is touched after it.
    if (const TSimpleTimerEvent handler = FOnTimer) GuardedCall([&] { handler(this); });
}
