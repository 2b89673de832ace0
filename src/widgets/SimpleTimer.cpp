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

// Timers need no input and no broadcasts: a message-only window is enough.
TSimpleTimerHandler::TSimpleTimerHandler()
    : TSharedWindow(CreateMessageWindow(kHandlerClass, &TSimpleTimerHandler::WindowProc)) {}

LRESULT CALLBACK TSimpleTimerHandler::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message != WM_TIMER) return DefWindowProcW(window, message, wParam, lParam);
    if (TSimpleTimer* timer = Find(window, static_cast<UINT_PTR>(wParam))) timer->Tick();
    return 0;
}

TSimpleTimer::TSimpleTimer() : TSimpleTimer(1000, nullptr) {}

TSimpleTimer::TSimpleTimer(int interval, TSimpleTimerEvent onTimer)
    : FId(NextTimerId()), FHandler(TSimpleTimerHandler::Join(FId, this)), FInterval(interval),
      FOnTimer(std::move(onTimer)) {}

TSimpleTimer::~TSimpleTimer() {
    Stop(true);
    TSimpleTimerHandler::Leave(FId);
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
    if (!SetTimer(FHandler.Window(), FId, static_cast<UINT>(FInterval), nullptr)) return false;
    FEnabled = true;
    ++FHandler.FRunning;
    return true;
}

bool TSimpleTimer::Stop(bool disable) {
    // Only a timer that runs is counted, so stopping twice does not miscount.
    const bool wasEnabled = FEnabled;
    if (disable) FEnabled = false;
    if (!KillTimer(FHandler.Window(), FId)) return false;
    if (wasEnabled && FHandler.FRunning > 0) --FHandler.FRunning;
    return true;
}

void TSimpleTimer::Tick() {
    if (FAutoDisable) Stop(true);
    // The handler may destroy this timer: it runs on a copy and nothing is touched after it.
    if (const TSimpleTimerEvent handler = FOnTimer) GuardedCall([&] { handler(this); });
}
