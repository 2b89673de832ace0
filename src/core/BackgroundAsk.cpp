#include "core/BackgroundAsk.h"

#include <utility>

#include "framework/MessageWindow.h"

namespace {
const UINT kAnswered = WM_APP + 1;
} // namespace

TBackgroundAsk::TBackgroundAsk()
    : FWindow(CreateMessageWindow(L"TarnwickNetworkQuestion", &WindowProc)) {
    if (FWindow) SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TBackgroundAsk::~TBackgroundAsk() {
    Cancel();
    for (auto& work : FDropped)
        work->Thread.join();
    if (FWindow) DestroyWindow(FWindow);
}

void TBackgroundAsk::Ask(INetworkProbe& probe, const TNetworkQuestion& question,
                         const TProbeTimes& times, TDone done) {
    Cancel();
    auto work = std::make_unique<TWork>();
    const unsigned id = ++FQuestion;
    const HWND window = FWindow;
    TWork* shared = work.get();
    // The worker touches only its own TWork, which lives until it is joined.
    work->Thread = std::thread([&probe, question, times, shared, window, id] {
        try {
            shared->Answer = AskNetwork(probe, question, shared->Cancel.Get(), times);
        } catch (...) {
            shared->Answer = {};
        }
        shared->Finished = true;
        PostMessageW(window, kAnswered, id, 0);
    });
    FCurrent = std::move(work);
    FDone = std::move(done);
}

void TBackgroundAsk::Cancel() {
    FDone = nullptr;
    if (!FCurrent) return;
    SetEvent(FCurrent->Cancel.Get());
    FDropped.push_back(std::move(FCurrent));
}

void TBackgroundAsk::Reap() {
    std::erase_if(FDropped, [](const std::unique_ptr<TWork>& work) {
        if (!work->Finished) return false;
        work->Thread.join();
        return true;
    });
}

void TBackgroundAsk::Answered(unsigned question) {
    Reap();
    if (question != FQuestion || !FCurrent || !FCurrent->Finished) return;
    FCurrent->Thread.join();
    const TNetworkAnswer answer = FCurrent->Answer;
    FCurrent.reset();
    // Cleared first: done may ask the next question.
    if (const TDone done = std::exchange(FDone, nullptr)) done(answer);
}

LRESULT CALLBACK TBackgroundAsk::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    auto* self = reinterpret_cast<TBackgroundAsk*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != kAnswered || !self) return DefWindowProcW(window, message, wParam, lParam);
    // Nothing thrown crosses the window procedure.
    try {
        self->Answered(static_cast<unsigned>(wParam));
    } catch (...) {
    }
    return 0;
}
