#include "core/ServiceLink.h"

#include "framework/Application.h"
#include "framework/MessageWindow.h"

namespace {
constexpr UINT kChanged = WM_APP + 1;
// How long a wait for the next change lasts before it is asked again, and the pause before
// asking a service that is gone.
constexpr DWORD kListenMs = 60000;
constexpr DWORD kRetryMs = 1000;
} // namespace

std::optional<DWORD> RunningServiceProcessId(const std::wstring& serviceName) {
    const ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return std::nullopt;
    const ScopedServiceHandle service(
        OpenServiceW(manager.Get(), serviceName.c_str(), SERVICE_QUERY_STATUS));
    if (!service) return std::nullopt;
    SERVICE_STATUS_PROCESS status{};
    DWORD size = 0;
    if (!QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof status, &size) ||
        status.dwCurrentState != SERVICE_RUNNING || status.dwProcessId == 0)
        return std::nullopt;
    return status.dwProcessId;
}

TServiceLink::TServiceLink(std::wstring serviceName, std::wstring pipeName)
    : FServiceName(std::move(serviceName)), FPipeName(std::move(pipeName)) {}

TServiceLink::~TServiceLink() {
    SetEvent(FStop.Get());
    if (FThread.joinable()) FThread.join();
    if (FWindow) DestroyWindow(FWindow);
}

std::optional<TServiceState> TServiceLink::Ask(TServiceRequestKind kind, DWORD timeoutMs) const {
    // Only the service's own process may answer: anyone can serve a pipe of that name first.
    const std::optional<DWORD> server = RunningServiceProcessId(FServiceName);
    if (!server) return std::nullopt;
    return AskService(kind, timeoutMs, FPipeName, server, FStop.Get());
}

std::optional<TServiceState> TServiceLink::AskDispatching(TServiceRequestKind kind,
                                                          DWORD timeoutMs) const {
    const ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) return Ask(kind, timeoutMs);
    std::optional<TServiceState> answer;
    std::thread asking([&] {
        answer = Ask(kind, timeoutMs);
        SetEvent(done.Get());
    });
    while (!WaitDispatchingMessages(done.Get(), INFINITE)) {
    }
    asking.join();
    return answer;
}

void TServiceLink::Listen(std::function<void(const TServiceState&)> changed) {
    if (FThread.joinable()) return;
    FChanged = std::move(changed);
    FWindow = CreateMessageWindow(L"TarnwickServiceChanges", &WindowProc);
    if (!FWindow) return;
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FThread = std::thread([this] { ListenLoop(); });
}

void TServiceLink::ListenLoop() {
    bool lost = false;
    while (WaitForSingleObject(FStop.Get(), 0) == WAIT_TIMEOUT) {
        if (lost) {
            // Back after a stop or a restart: what it holds now, whatever changed meanwhile.
            if (const std::optional<TServiceState> state = Ask(TServiceRequestKind::State, 5000)) {
                lost = false;
                Hand(*state);
            } else if (WaitForSingleObject(FStop.Get(), kRetryMs) == WAIT_OBJECT_0) {
                return;
            }
            continue;
        }
        const ULONGLONG start = GetTickCount64();
        if (const std::optional<TServiceState> change =
                Ask(TServiceRequestKind::WaitForChange, kListenMs))
            Hand(*change);
        // A wait that ended early without a change: the service went.
        else if (GetTickCount64() - start < kListenMs)
            lost = true;
    }
}

void TServiceLink::Hand(const TServiceState& state) {
    {
        const std::lock_guard<std::mutex> lock(FLock);
        FChanges.push_back(state);
    }
    PostMessageW(FWindow, kChanged, 0, 0);
}

LRESULT CALLBACK TServiceLink::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TServiceLink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || message != kChanged) return DefWindowProcW(window, message, wParam, lParam);
    for (;;) {
        std::optional<TServiceState> state;
        {
            const std::lock_guard<std::mutex> lock(self->FLock);
            if (self->FChanges.empty()) return 0;
            state = self->FChanges.front();
            self->FChanges.pop_front();
        }
        // Nothing leaves a window procedure; the handler shows its own errors.
        try {
            if (self->FChanged) self->FChanged(*state);
        } catch (...) {
        }
    }
}
