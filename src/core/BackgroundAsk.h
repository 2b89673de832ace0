#pragma once
// Asks the network on a worker thread and hands the answer to the thread that asked, by a
// message to a window of its own, so the user interface never waits for the network. One
// question at a time: a new one, Cancel or the end of the object drops the one in flight, whose
// answer then reaches nobody.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "core/NetworkCheck.h"
#include "framework/Scoped.h"

class TBackgroundAsk {
public:
    using TDone = std::function<void(const TNetworkAnswer&)>;

    TBackgroundAsk();
    // Waits for the workers still asking: at most one try of each.
    ~TBackgroundAsk();
    TBackgroundAsk(const TBackgroundAsk&) = delete;
    TBackgroundAsk& operator=(const TBackgroundAsk&) = delete;

    // done runs on this thread, from its message loop. The probe must outlive the question.
    void Ask(INetworkProbe& probe, const TNetworkQuestion& question, const TProbeTimes& times,
             TDone done);
    void Cancel();
    bool Busy() const { return static_cast<bool>(FDone); }

private:
    struct TWork {
        ScopedHandle Cancel{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        std::atomic<bool> Finished = false;
        TNetworkAnswer Answer;
        std::thread Thread;
    };
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Answered(unsigned question);
    // Joins the workers that have finished.
    void Reap();

    HWND FWindow = nullptr;
    unsigned FQuestion = 0; // the one in flight, counted from 1
    std::unique_ptr<TWork> FCurrent;
    std::vector<std::unique_ptr<TWork>> FDropped;
    TDone FDone;
};
