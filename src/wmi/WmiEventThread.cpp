#include "wmi/WmiEventThread.h"

#include <objbase.h>

#include <atomic>
#include <initializer_list>
#include <utility>

#include "framework/ComObject.h"
#include "wbem/WbemScripting.h"
#include "wmi/WmiAutomation.h"
#include "wmi/WmiComponent.h"

namespace {
const DWORD kPause = 100;
// The members of the hand-over object a worker calls.
const DISPID kDispidDeliver = 1, kDispidLost = 2;
} // namespace

// What a worker and the user-interface thread share. The worker holds it for its whole life,
// so a delivery in progress outlives the registration, the worker object and the watcher.
struct TWmiEventShared {
    ScopedHandle StopEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    ScopedHandle Subscribed{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> Finished{false};
    // A NextEvent answered with an event or a time-out: the subscription worked.
    std::atomic<bool> Worked{false};
    // What the worker subscribes with; written before it starts.
    TWmiEventSubscription Subscription;
    IStream* HandOverStream = nullptr; // the marshalled hand-over object, taken by the worker
    HRESULT SubscribeResult = E_FAIL;  // written before Subscribed is set
    // User-interface thread only: cleared when the worker stops.
    TWmiEventReceiver Receiver;
    bool Delivering = false;
    bool Stopping = false;
};

namespace {
// The object through which a worker reaches the user-interface thread: it lives in that
// thread's apartment, so a worker's call runs there while the worker waits, serving calls made
// on the event it handed over.
class TWmiHandOver : public TComObject<IDispatch> {
public:
    explicit TWmiHandOver(std::shared_ptr<TWmiEventShared> shared) : FShared(std::move(shared)) {}

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return count ? S_OK : E_POINTER;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        TWmiEventShared& shared = *FShared;
        if (id == kDispidLost) {
            // A stop under way ends the worker anyway.
            if (const auto lost = shared.Receiver.Lost; lost && !shared.Stopping) try {
                    lost(shared.Worked);
                } catch (...) {
                }
            return S_OK;
        }
        if (id != kDispidDeliver || !params || params->cArgs != 1 ||
            params->rgvarg[0].vt != VT_DISPATCH)
            return DISP_E_MEMBERNOTFOUND;
        // Copied: the receiver may stop this worker, which lets go of its receiver.
        const auto deliver = shared.Receiver.Deliver;
        if (!deliver) return S_OK; // stopped: the event is dropped
        shared.Delivering = true;
        try {
            deliver(params->rgvarg[0].pdispVal);
        } catch (...) {
        }
        // The handler may have stopped the registration or destroyed the watcher: only the
        // shared state, which this object keeps alive, is touched from here on.
        shared.Delivering = false;
        return S_OK;
    }

private:
    std::shared_ptr<TWmiEventShared> FShared;
};

void ReleaseMarshalled(IStream* stream) {
    if (!stream) return;
    const LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CoReleaseMarshalData(stream);
    stream->Release();
}

// Waits for one of the handles, serving calls made to this apartment meanwhile.
DWORD ComWait(std::initializer_list<HANDLE> handles) {
    DWORD index = 0;
    CoWaitForMultipleHandles(0, INFINITE, static_cast<ULONG>(handles.size()),
                             const_cast<HANDLE*>(handles.begin()), &index);
    return index;
}

// The worker's own event source, in its apartment, as the watcher would have subscribed it.
Microsoft::WRL::ComPtr<IDispatch> Subscribe(const TWmiEventSubscription& subscription) {
    auto services = WmiConnectServer(subscription.MachineName, subscription.NameSpace,
                                     subscription.Credentials);
    if (!subscription.Privileges.empty()) {
        auto security = WmiObject(WmiGet(services.Get(), L"Security_"));
        auto privileges = WmiObject(WmiGet(security.Get(), L"Privileges"));
        for (int privilege : subscription.Privileges)
            WmiCall(privileges.Get(), L"Add",
                    {ScopedVariant(privilege).Get(), ScopedVariant(true).Get()});
    }
    ScopedVariant query(subscription.Query), language(L"WQL"),
        flags(kWbemFlagReturnImmediately | kWbemFlagForwardOnly);
    auto source = WmiObject(WmiCall(services.Get(), L"ExecNotificationQuery",
                                    {query.Get(), language.Get(), flags.Get()}));
    if (!source) WmiCheck(E_NOINTERFACE);
    return source;
}

HRESULT CallHandOver(IDispatch* handOver, DISPID member, IDispatch* event) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_DISPATCH;
    argument.pdispVal = event;
    DISPPARAMS params{event ? &argument : nullptr, nullptr, event ? 1u : 0u, 0};
    return handOver->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                            nullptr, nullptr, nullptr);
}
} // namespace

TWmiEventThread::TWmiEventThread(TWmiEventSubscription subscription, TWmiEventReceiver receiver)
    : FShared(std::make_shared<TWmiEventShared>()) {
    TWmiEventShared& shared = *FShared;
    if (!shared.StopEvent || !shared.Subscribed) WmiCheck(HRESULT_FROM_WIN32(GetLastError()));
    shared.Subscription = std::move(subscription);
    shared.Subscription.Credentials.OnChange = nullptr;
    shared.Receiver = std::move(receiver);
    const Microsoft::WRL::ComPtr<IDispatch> handOver(new TWmiHandOver(FShared));
    WmiCheck(CoMarshalInterThreadInterfaceInStream(IID_IDispatch, handOver.Get(),
                                                   &shared.HandOverStream));
    auto* parameter = new std::shared_ptr<TWmiEventShared>(FShared);
    DWORD id = 0;
    FThread.Reset(CreateThread(nullptr, 0, &Run, parameter, CREATE_SUSPENDED, &id));
    if (!FThread) {
        const HRESULT error = HRESULT_FROM_WIN32(GetLastError());
        delete parameter;
        ReleaseMarshalled(std::exchange(shared.HandOverStream, nullptr));
        WmiCheck(error);
    }
    SetThreadPriority(FThread.Get(), THREAD_PRIORITY_LOWEST);
    ResumeThread(FThread.Get());
    ComWait({shared.Subscribed.Get(), FThread.Get()});
    if (FAILED(shared.SubscribeResult)) {
        Stop();
        WmiCheck(shared.SubscribeResult);
    }
}

TWmiEventThread::~TWmiEventThread() {
    Stop();
}

void TWmiEventThread::Stop() {
    SetEvent(FShared->StopEvent.Get());
    FShared->Stopping = true;
    // A COM-aware wait: a hand-over the worker is blocked in still runs and reaches its
    // handler, while posted messages, timers and menus wait for the message loop.
    if (FThread && !FShared->Delivering) ComWait({FThread.Get()});
    FThread.Reset();
    FShared->Receiver = {};
}

void TWmiEventThread::Loop(TWmiEventShared& shared, IDispatch* source, IDispatch* handOver) {
    const ScopedVariant wait(NextEventWaitMs);
    while (WaitForSingleObject(shared.StopEvent.Get(), 0) != WAIT_OBJECT_0) {
        HRESULT result = S_OK;
        Microsoft::WRL::ComPtr<IDispatch> event;
        try {
            event = WmiObject(CallMethod(source, L"NextEvent", {wait.Get()}));
        } catch (const EComError& e) {
            result = e.Code() ? e.Code() : E_FAIL;
        }
        if (SUCCEEDED(result) || result == kWbemErrTimedOut) shared.Worked = true;
        // The pause follows an empty wait only, so an event is not held back by it; it waits
        // on the stop event, so a stop need not sit it out.
        const DWORD pause = result == kWbemErrTimedOut ? kPause : 0;
        if (WaitForSingleObject(shared.StopEvent.Get(), pause) == WAIT_OBJECT_0) return;
        if (result == kWbemErrTimedOut) continue;
        if (FAILED(result) || !event) break;
        // Nobody took it (the watcher's thread is gone): this worker ends.
        if (FAILED(CallHandOver(handOver, kDispidDeliver, event.Get()))) return;
    }
    if (WaitForSingleObject(shared.StopEvent.Get(), 0) != WAIT_OBJECT_0)
        CallHandOver(handOver, kDispidLost, nullptr);
}

DWORD WINAPI TWmiEventThread::Run(void* parameter) {
    const std::unique_ptr<std::shared_ptr<TWmiEventShared>> holder(
        static_cast<std::shared_ptr<TWmiEventShared>*>(parameter));
    TWmiEventShared& shared = **holder;
    IStream* stream = std::exchange(shared.HandOverStream, nullptr);
    try {
        ScopedComInitializer com;
        Microsoft::WRL::ComPtr<IDispatch> handOver, source;
        if (!com.Succeeded()) {
            ReleaseMarshalled(stream);
            shared.SubscribeResult = E_FAIL;
        } else if (const HRESULT hr = CoGetInterfaceAndReleaseStream(
                       stream, IID_IDispatch, reinterpret_cast<void**>(handOver.GetAddressOf()));
                   FAILED(hr)) {
            shared.SubscribeResult = hr;
        } else {
            try {
                source = Subscribe(shared.Subscription);
                shared.SubscribeResult = S_OK;
            } catch (const EComError& e) {
                shared.SubscribeResult = e.Code() ? e.Code() : E_FAIL;
            } catch (...) {
                shared.SubscribeResult = E_FAIL;
            }
        }
        SetEvent(shared.Subscribed.Get());
        if (source) Loop(shared, source.Get(), handOver.Get());
    } catch (...) {
    }
    SetEvent(shared.Subscribed.Get());
    shared.Finished = true;
    return 0;
}

bool TWmiEventThread::Finished() const {
    return FShared->Finished;
}
