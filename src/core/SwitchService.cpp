#include "core/SwitchService.h"

#include "core/ProfileSwitch.h"
#include "core/Settings.h"
#include "core/WmiEngine.h"
#include "framework/Exception.h"
#include "framework/MessageWindow.h"
#include "framework/Scoped.h"

namespace {
constexpr UINT kRequestsWaiting = WM_APP + 1;
constexpr UINT kSuspending = WM_APP + 2;
const wchar_t kBusyCause[] = L"正在切换 IP 地址，请稍后再试。";

std::wstring ProfileOf(TServiceRequestKind kind) {
    return kind == TServiceRequestKind::SwitchToA ? L"A" : L"B";
}
} // namespace

TSwitchService::TSwitchService(std::wstring pipeName)
    : FWatcher(FOwner.Own<TWmiSystemEvents>()),
      FAutoSwitch({[this] { return !FSwitching && AutoSwitchOn(); },
                   [this](const std::wstring& profile) {
                       const TSwitchResult result = RunSwitch(profile, false);
                       // Done, it is told once the new network has been asked; a failure now,
                       // for the trays to show as they show their own.
                       if (result.Failed || result.Code != 0) {
                           TServiceState state = State(TServiceChange::AutoSwitched);
                           SetServiceResult(state, result);
                           Publish(state);
                       }
                       return result.Failed ? -1 : result.Code;
                   },
                   [this](const std::wstring&, bool found) {
                       Publish(found ? TServiceChange::AutoSwitched
                                     : TServiceChange::AutoSwitchedNoGateway);
                   },
                   [this](const std::wstring&) { Publish(TServiceChange::Unchanged); }}),
      FPipe(std::move(pipeName)),
      FWindow(CreateMessageWindow(L"TarnwickServiceRequests", &WindowProc)) {
    if (FWindow) SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FWatcher->SetPoolingInterval(10);
    FWatcher->SetOnNetworkConnect(
        [this](TComponent*, const std::wstring& adapter) { FAutoSwitch.Connected(adapter); });
    FWatcher->SetOnNetworkDisconnect(
        [this](TComponent*, const std::wstring& adapter) { FAutoSwitch.Disconnected(adapter); });
    FWatcher->OnWatchingChange = [this](TComponent*) { Publish(TServiceChange::Watching); };
}

TSwitchService::~TSwitchService() {
    // No request comes in any more, and none waiting is answered: its client sees the pipe end.
    FPipe.Stop();
    FWatcher->OnWatchingChange = nullptr;
    try {
        FWatcher->SetActive(false);
    } catch (...) {
    }
    if (FWindow) DestroyWindow(FWindow);
}

bool TSwitchService::Start() {
    if (!FWindow) return false;
    const bool serving =
        FPipe.Start([this](TServiceRequestKind kind, TServicePipeServer::TReply r) {
            // On the pipe's I/O thread, which must not wait: the service's thread serves it.
            {
                const std::lock_guard<std::mutex> lock(FLock);
                FWaiting.push_back({kind, std::move(r)});
            }
            PostMessageW(FWindow, kRequestsWaiting, 0, 0);
        });
    if (!serving) return false;
    // WMI not ready yet (a start at boot): the watcher tries again by itself.
    try {
        FWatcher->SetActive(true);
    } catch (...) {
    }
    return true;
}

void TSwitchService::PostSuspending() {
    PostMessageW(FWindow, kSuspending, 0, 0);
}

LRESULT CALLBACK TSwitchService::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    auto* self = reinterpret_cast<TSwitchService*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || (message != kRequestsWaiting && message != kSuspending))
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == kSuspending)
        self->FAutoSwitch.Suspending();
    else
        self->ServeWaiting();
    return 0;
}

void TSwitchService::ServeWaiting() {
    for (;;) {
        std::optional<TRequest> request;
        {
            const std::lock_guard<std::mutex> lock(FLock);
            if (FWaiting.empty()) return;
            request.emplace(std::move(FWaiting.front()));
            FWaiting.pop_front();
        }
        Answer(*request);
    }
}

void TSwitchService::Answer(const TRequest& request) {
    if (request.Kind == TServiceRequestKind::State) return request.Reply.Send(State());
    const TSwitchResult result = RunSwitch(ProfileOf(request.Kind), true);
    TServiceState state = State(TServiceChange::Switched);
    SetServiceResult(state, result);
    // The trays of the other sessions show it too.
    request.Reply.Send(Publish(state));
}

TSwitchResult TSwitchService::RunSwitch(const std::wstring& profile, bool learn) {
    // A request that arrives while a switch waits on the adapter (its message loop runs) is
    // refused, not nested.
    if (FSwitching) return TSwitchResult::Failure(-1, kBusyCause);
    FSwitching = true;
    const ScopeExit reset([this] { FSwitching = false; });
    TSwitchResult result;
    try {
        result = SwitchProfile(profile);
        if (result.Failed) return result;
        if (ActiveProfile() != profile) WriteActiveProfile(profile);
    } catch (const std::exception& e) {
        return TSwitchResult::Failure(-1, RaisedCause(e));
    }
    if (learn) FAutoSwitch.Learn(profile, result.AdapterGuid);
    return result;
}

TServiceState TSwitchService::State(TServiceChange change) const {
    TServiceState state;
    state.Change = static_cast<uint16_t>(change);
    const std::wstring active = ActiveProfile();
    if (active == L"A" || active == L"B") SetServiceText(state.ActiveProfile, active);
    SetServiceText(state.NameA, ProfileName(L"A"));
    SetServiceText(state.NameB, ProfileName(L"B"));
    state.NetworkWatched = FWatcher->Watching() ? 1 : 0;
    state.ChangeCount = FChangeCount;
    return state;
}

TServiceState TSwitchService::Publish(TServiceState state) {
    state.ChangeCount = ++FChangeCount;
    FPipe.PublishChange(state);
    return state;
}
