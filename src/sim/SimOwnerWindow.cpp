#include "sim/SimOwnerWindow.h"

#include <condition_variable>
#include <mutex>
#include <utility>

#include "framework/MessageWindow.h"

namespace {
const wchar_t kClass[] = L"TarnwickSimulatedMachine";
constexpr UINT kRunJob = WM_APP + 1; // wParam: the job's id
} // namespace

// The jobs handed to the owner thread, by id: a message names a job, never carries a pointer,
// since any process may send any parameters to the window.
struct TSimOwnerWindow::TJobs {
    struct TJob {
        const std::function<void()>* Work = nullptr;
        bool Done = false;
    };
    std::mutex Lock;
    std::condition_variable Finished;
    std::map<WPARAM, std::shared_ptr<TJob>> Waiting;
    WPARAM NextId = 1;

    // On the owner thread: the job of that id, if it still waits, run.
    void Run(WPARAM id) {
        std::shared_ptr<TJob> job;
        {
            std::lock_guard guard(Lock);
            const auto it = Waiting.find(id);
            if (it == Waiting.end()) return;
            job = std::move(it->second);
            Waiting.erase(it);
        }
        try {
            (*job->Work)();
        } catch (...) {
            // Nothing throws across a window procedure; the caller sees the work as done.
        }
        {
            std::lock_guard guard(Lock);
            job->Done = true;
        }
        Finished.notify_all();
    }
};

TSimOwnerWindow::TSimOwnerWindow()
    : FJobs(std::make_shared<TJobs>()), FWindow(CreateMessageWindow(kClass, &WindowProc)),
      FThread(GetCurrentThreadId()) {
    if (FWindow) SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TSimOwnerWindow::~TSimOwnerWindow() {
    CancelAll();
    if (FWindow) DestroyWindow(FWindow);
}

bool TSimOwnerWindow::RunOnOwner(const std::function<void()>& work, DWORD timeoutMs) const {
    if (GetCurrentThreadId() == FThread) {
        work();
        return true;
    }
    // From here on only what this call holds: the window may go while it waits.
    const std::shared_ptr<TJobs> jobs = FJobs;
    const HWND window = FWindow;
    if (!window) return false;
    auto job = std::make_shared<TJobs::TJob>();
    job->Work = &work;
    WPARAM id = 0;
    {
        std::lock_guard guard(jobs->Lock);
        id = jobs->NextId++;
        jobs->Waiting.emplace(id, job);
    }
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, kRunJob, id, 0, SMTO_ABORTIFHUNG, timeoutMs, &answer);
    std::unique_lock lock(jobs->Lock);
    // Not taken: it never runs. Taken as the wait ended: it is running, briefly, on what this
    // call holds, so this call waits for it.
    if (jobs->Waiting.erase(id)) return false;
    jobs->Finished.wait(lock, [&] { return job->Done; });
    return true;
}

void TSimOwnerWindow::After(const std::wstring& key, DWORD ms, std::function<void()> then) {
    Cancel(key);
    if (!FWindow) return;
    const UINT_PTR id = FNextTimer++;
    if (SetTimer(FWindow, id, ms, nullptr)) FTimers[key] = {id, std::move(then)};
}

void TSimOwnerWindow::Cancel(const std::wstring& key) {
    const auto it = FTimers.find(key);
    if (it == FTimers.end()) return;
    KillTimer(FWindow, it->second.Id);
    FTimers.erase(it);
}

void TSimOwnerWindow::CancelAll() {
    for (const auto& [key, timer] : FTimers)
        KillTimer(FWindow, timer.Id);
    FTimers.clear();
}

LRESULT CALLBACK TSimOwnerWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    auto* self = reinterpret_cast<TSimOwnerWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case kRunJob:
        self->FJobs->Run(wParam);
        return 1;
    case WM_TIMER:
        // A timer of a key no longer due (or an id nobody set) does nothing.
        for (auto it = self->FTimers.begin(); it != self->FTimers.end(); ++it) {
            if (it->second.Id != wParam) continue;
            KillTimer(window, wParam);
            const std::function<void()> then = std::move(it->second.Then);
            self->FTimers.erase(it);
            try {
                then();
            } catch (...) {
                // Nothing throws across a window procedure.
            }
            break;
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
