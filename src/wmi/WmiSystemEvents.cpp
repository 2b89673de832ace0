#include "wmi/WmiSystemEvents.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <initializer_list>
#include <utility>

#include "framework/Scoped.h"
#include "framework/Strings.h"
#include "framework/WbemScripting.h"
#include "wmi/WmiAutomation.h"
#include "wmi/WmiEventPayloads.h"

namespace {
const int kNextEventWait = 10;
const DWORD kPause = 100;
const int kSecurityPrivilege = 7;
// The members of the hand-over object a worker calls.
const DISPID kDispidDeliver = 1, kDispidLost = 2;

const wchar_t kNetworkConnectQuery[] = L"select * from MSNdis_StatusMediaConnect";
const wchar_t kNetworkDisconnectQuery[] = L"select * from MSNdis_StatusMediaDisconnect";
const wchar_t kPrinterQuery[] = L"select * from __InstanceOperationEvent within %d where "
                                L"TargetInstance isa \"Win32_Printer\"";
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
    std::wstring MachineName, NameSpace, Query;
    TWmiCredentials Credentials;
    std::vector<int> Privileges;
    IStream* HandOverStream = nullptr; // the marshalled hand-over object, taken by the worker
    HRESULT SubscribeResult = E_FAIL;  // written before Subscribed is set
    // User-interface thread only: cleared when the registration stops.
    TWmiSystemEvents* Watcher = nullptr;
    TEventInfoHolder* Registration = nullptr;
    bool Delivering = false;
    bool Stopping = false;
};

namespace {
// The object through which a worker reaches the user-interface thread: it lives in that
// thread's apartment, so a worker's call runs there while the worker waits, serving calls made
// on the event it handed over.
class TWmiHandOver : public IDispatch {
public:
    explicit TWmiHandOver(std::shared_ptr<TWmiEventShared> shared) : FShared(std::move(shared)) {}
    virtual ~TWmiHandOver() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++FRefs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG refs = --FRefs;
        if (refs == 0) delete this;
        return refs;
    }
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
            if (shared.Watcher && !shared.Stopping) try {
                    shared.Watcher->SubscriptionLost(*shared.Registration, shared.Worked);
                } catch (...) {
                }
            return S_OK;
        }
        if (id != kDispidDeliver || !params || params->cArgs != 1 ||
            params->rgvarg[0].vt != VT_DISPATCH)
            return DISP_E_MEMBERNOTFOUND;
        if (!shared.Watcher) return S_OK; // stopped: the event is dropped
        shared.Delivering = true;
        try {
            shared.Watcher->DeliverEvent(*shared.Registration, params->rgvarg[0].pdispVal);
        } catch (...) {
        }
        // The handler may have stopped the registration or destroyed the watcher: only the
        // shared state, which this object keeps alive, is touched from here on.
        shared.Delivering = false;
        return S_OK;
    }

private:
    std::atomic<ULONG> FRefs = 1;
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
Microsoft::WRL::ComPtr<IDispatch> Subscribe(const TWmiEventShared& shared) {
    auto services = WmiConnectServer(shared.MachineName, shared.NameSpace, shared.Credentials);
    if (!shared.Privileges.empty()) {
        auto security = WmiObject(WmiGet(services.Get(), L"Security_"));
        auto privileges = WmiObject(WmiGet(security.Get(), L"Privileges"));
        for (int privilege : shared.Privileges)
            WmiCall(privileges.Get(), L"Add",
                    {ScopedVariant(privilege).Get(), ScopedVariant(true).Get()});
    }
    ScopedVariant query(shared.Query), language(L"WQL"),
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

class TWmiEventThread {
public:
    // Starts the worker and waits until it has subscribed; raises what subscribing raised.
    TWmiEventThread(TWmiSystemEvents* watcher, TEventInfoHolder* registration, std::wstring query);
    ~TWmiEventThread();
    bool Finished() const { return FShared->Finished; }
    // Ends the worker. Inside its own delivery the thread cannot be waited for: it is let go
    // and ends by itself once the delivery has unwound.
    void Stop();

private:
    static DWORD WINAPI Run(void* parameter);
    static void Loop(TWmiEventShared& shared, IDispatch* source, IDispatch* handOver);

    std::shared_ptr<TWmiEventShared> FShared = std::make_shared<TWmiEventShared>();
    ScopedHandle FThread;
};

TWmiEventThread::TWmiEventThread(TWmiSystemEvents* watcher, TEventInfoHolder* registration,
                                 std::wstring query) {
    TWmiEventShared& shared = *FShared;
    if (!shared.StopEvent || !shared.Subscribed) WmiCheck(HRESULT_FROM_WIN32(GetLastError()));
    TWmiAbstract* connection = watcher->GetNamespaceConnection(registration->NameSpace);
    shared.MachineName = connection->MachineName();
    shared.NameSpace = connection->NameSpace();
    shared.Credentials = connection->Credentials();
    shared.Credentials.OnChange = nullptr;
    shared.Query = std::move(query);
    shared.Privileges = registration->Privileges;
    shared.Watcher = watcher;
    shared.Registration = registration;
    Microsoft::WRL::ComPtr<IDispatch> handOver;
    handOver.Attach(new TWmiHandOver(FShared));
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
    FShared->Watcher = nullptr;
    FShared->Registration = nullptr;
}

void TWmiEventThread::Loop(TWmiEventShared& shared, IDispatch* source, IDispatch* handOver) {
    const ScopedVariant wait(kNextEventWait);
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
                source = Subscribe(shared);
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

// ---------------------------------------------------------------------------------------------

const TWmiEventKindInfo& EventKindInfo(TWmiEventKind kind) {
    static const wchar_t kCimv2[] = L"root\\cimv2";
    static const TWmiEventKindInfo kinds[] = {
        {kCimv2,
         L"select * from __instanceOperationEvent within %d where TargetInstance isa "
         L"\"win32_UserAccount\"",
         L"Win32_UserAccount",
         {}},
        {kCimv2,
         L"select * from __instanceOperationEvent within %d where TargetInstance isa "
         L"\"Win32_Group\"",
         L"Win32_Group",
         {}},
        {kCimv2,
         L"select * from __instanceOperationEvent within %d where TargetInstance isa "
         L"\"Win32_GroupUser\"",
         L"Win32_GroupUser",
         {}},
        {kCimv2,
         L"select * from __InstanceCreationEvent where TargetInstance isa \"Win32_NTLogEvent\" "
         L"and TargetInstance.Logfile = \"Application\"",
         L"Win32_NTLogEvent",
         {}},
        {kCimv2,
         L"select * from __InstanceCreationEvent where TargetInstance isa \"Win32_NTLogEvent\" "
         L"and TargetInstance.Logfile = \"System\"",
         L"Win32_NTLogEvent",
         {}},
        {kCimv2,
         L"select * from __InstanceCreationEvent where TargetInstance isa \"Win32_NTLogEvent\" "
         L"and TargetInstance.Logfile = \"Security\"",
         L"Win32_NTLogEvent",
         {kSecurityPrivilege}},
        {kCimv2,
         L"select * from __InstanceCreationEvent where TargetInstance isa \"Win32_NTLogEvent\"",
         L"Win32_NTLogEvent",
         {kSecurityPrivilege}},
        {L"root\\WMI", kNetworkConnectQuery, L"", {}},
        {L"root\\WMI", kNetworkDisconnectQuery, L"", {}},
        {kCimv2,
         L"select * from __InstanceCreationEvent within %d where TargetInstance isa "
         L"\"Win32_LoggedOnUser\"",
         L"Win32_LoggedOnUser",
         {}},
        {kCimv2,
         L"select * from __InstanceDeletionEvent within %d where TargetInstance isa "
         L"\"Win32_LoggedOnUser\"",
         L"Win32_LoggedOnUser",
         {}},
        {kCimv2, kPrinterQuery, L"Win32_Printer", {}},
        {kCimv2,
         L"select * from __InstanceOperationEvent within %d where TargetInstance ISA "
         L"\"Win32_PrintJob\"",
         L"Win32_PrintJob",
         {}},
        {kCimv2,
         L"select * from Win32_DeviceChangeEvent where EventType = 4",
         L"Win32_DeviceChangeEvent",
         {}},
        {kCimv2,
         L"select * from __instanceOperationEvent within %d where TargetInstance isa "
         L"\"Win32_Service\"",
         L"Win32_Service",
         {}},
        {kCimv2,
         L"SELECT * FROM __InstanceModificationEvent WITHIN %d WHERE TargetInstance ISA "
         L"\"Win32_CDROMDrive\" and TargetInstance.MediaLoaded=TRUE and "
         L"PreviousInstance.MediaLoaded = FALSE",
         L"Win32_CDROMDrive",
         {}},
        {kCimv2,
         L"SELECT * FROM __InstanceModificationEvent WITHIN %d WHERE TargetInstance ISA "
         L"\"Win32_CDROMDrive\" and TargetInstance.MediaLoaded=FALSE and "
         L"PreviousInstance.MediaLoaded = TRUE",
         L"Win32_CDROMDrive",
         {}},
    };
    return kinds[static_cast<size_t>(kind)];
}

TWmiEventAction EventActionOf(IDispatch* event) {
    const std::wstring cls = WmiText(WmiGet(WmiObject(WmiGet(event, L"Path_")).Get(), L"Class"));
    if (cls == L"__InstanceCreationEvent") return weaCreated;
    if (cls == L"__InstanceDeletionEvent") return weaDeleted;
    if (cls == L"__InstanceModificationEvent") return weaModified;
    return weaUnknown;
}

// ---------------------------------------------------------------------------------------------

TEventInfoHolder::TEventInfoHolder() = default;
TEventInfoHolder::~TEventInfoHolder() = default;

TWmiSystemEvents::TWmiSystemEvents(TComponent* owner)
    : TWmiComponent(owner), FRetryTimer(Own<TTimer>()) {
    FRetryTimer->SetEnabled(false);
    FRetryTimer->OnTimer = [this](TComponent*) { Retry(); };
}

TWmiSystemEvents::~TWmiSystemEvents() {
    // Its owner is going too: told nothing more.
    OnWatchingChange = nullptr;
    try {
        SetActive(false);
    } catch (...) {
    }
    for (auto& registration : FRegistrations)
        StopEventQuery(*registration);
    FRegistrations.clear();
    FConnections.clear();
}

void TWmiSystemEvents::SetRetryPauses(DWORD first, DWORD longest) {
    FFirstPause = std::max<DWORD>(1, first);
    FLongestPause = std::max(FFirstPause, longest);
}

bool TWmiSystemEvents::Running(const TEventInfoHolder& registration) {
    return registration.Worker && !registration.Worker->Finished();
}

void TWmiSystemEvents::SetActive(bool active) {
    FWanted = active;
    if (!active) UpdateEventQueries(false);
    try {
        TWmiComponent::SetActive(active);
        if (!Loading() && active) UpdateEventQueries(true);
    } catch (...) {
        // Raised for the caller to know; every registration not running is tried again later.
        if (active && !Loading())
            for (auto& registration : FRegistrations)
                if (!Running(*registration) && !registration->RetryDelay)
                    SubscriptionLost(*registration, false);
        WatchingMayHaveChanged();
        throw;
    }
    WatchingMayHaveChanged();
}

bool TWmiSystemEvents::Watching() const {
    if (!Active()) return false;
    // A worker whose subscription was lost may not have ended yet: its pending retry tells.
    for (const auto& registration : FRegistrations)
        if (!Running(*registration) || registration->RetryDelay) return false;
    return true;
}

void TWmiSystemEvents::WatchingMayHaveChanged() {
    const bool watching = Watching();
    if (watching == FWatching) return;
    FWatching = watching;
    // Copied: the handler may clear itself.
    if (const TNotifyEvent handler = OnWatchingChange) {
        try {
            handler(this);
        } catch (...) {
        }
    }
}

void TWmiSystemEvents::SettingsChanged() {
    if (!Loading()) SetActive(false);
}

void TWmiSystemEvents::Loaded() {
    TWmiComponent::Loaded();
    UpdateEventQueries(Active());
}

void TWmiSystemEvents::RestartPolling() {
    for (auto& registration : FRegistrations) {
        if (registration->Query.find(L"%d") == std::wstring::npos) continue;
        StopEventQuery(*registration);
        StartEventQuery(*registration);
    }
}

TWmiAbstract* TWmiSystemEvents::GetNamespaceConnection(const std::wstring& nameSpace) {
    std::wstring key = nameSpace;
    for (auto& c : key)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    auto found = FConnections.find(key);
    if (found != FConnections.end()) return found->second.get();
    auto connection = std::make_unique<TWmiAbstract>(nullptr);
    connection->SetName(L"Connection" + std::to_wstring(FConnections.size()));
    connection->SetMachineName(MachineName());
    connection->Credentials().Assign(Credentials());
    connection->SetNameSpace(key);
    if (!Loading()) connection->SetActive(Active());
    return FConnections.emplace(key, std::move(connection)).first->second.get();
}

std::wstring WmiEventQueryText(const std::wstring& query, int poolingInterval) {
    if (query.find(L"%d") == std::wstring::npos) return query;
    std::wstring text(query.size() + 16, L'\0');
    const int length = std::swprintf(text.data(), text.size() + 1, query.c_str(),
                                     std::max(1, poolingInterval / 10));
    if (length < 0) return query;
    text.resize(static_cast<size_t>(length));
    return text;
}

void TWmiSystemEvents::StartEventQuery(TEventInfoHolder& registration) {
    // A worker that ended is replaced.
    if (registration.Worker) StopEventQuery(registration);
    TWmiAbstract* connection = GetNamespaceConnection(registration.NameSpace);
    // Raises when the namespace cannot be reached: the caller tries again later.
    connection->SetActive(true);
    IDispatch* services = connection->Services();
    if (!registration.ClassToCheck.empty()) {
        try {
            WmiCall(services, L"Get",
                    {ScopedVariant(registration.ClassToCheck).Get(), ScopedVariant(0).Get()});
        } catch (const EComError&) {
            return;
        }
    }
    // The worker subscribes in its own apartment: a source made here would run every
    // NextEvent the worker makes on this thread.
    registration.Worker = std::make_unique<TWmiEventThread>(
        this, &registration, WmiEventQueryText(registration.Query, PoolingInterval()));
}

void TWmiSystemEvents::StopEventQuery(TEventInfoHolder& registration) {
    registration.RetryDelay = 0;
    // Moved out first: a handler run by the wait below may stop this registration again.
    std::unique_ptr<TWmiEventThread> worker = std::move(registration.Worker);
    worker.reset();
}

void TWmiSystemEvents::SubscriptionLost(TEventInfoHolder& registration, bool hadWorked) {
    registration.Failures = hadWorked ? 1 : registration.Failures + 1;
    DWORD pause = FFirstPause;
    for (unsigned i = 1; i < registration.Failures && pause < FLongestPause; ++i)
        pause *= 2;
    registration.RetryDelay = std::min(pause, FLongestPause);
    registration.RetryAt = GetTickCount64() + registration.RetryDelay;
    ArmRetry();
    WatchingMayHaveChanged();
}

void TWmiSystemEvents::ArmRetry() {
    ULONGLONG next = 0;
    for (const auto& registration : FRegistrations)
        if (registration->RetryDelay && (!next || registration->RetryAt < next))
            next = registration->RetryAt;
    FRetryTimer->SetEnabled(false);
    if (!next) return;
    const ULONGLONG now = GetTickCount64();
    FRetryTimer->SetInterval(static_cast<unsigned>(next > now ? next - now : 1));
    FRetryTimer->SetEnabled(true);
}

void TWmiSystemEvents::Retry() {
    FRetryTimer->SetEnabled(false);
    if (!FWanted) return;
    const ULONGLONG now = GetTickCount64();
    if (!Active()) {
        try {
            TWmiComponent::SetActive(true);
        } catch (...) {
            // WMI is not there yet: every registration that was due waits once more.
            for (auto& registration : FRegistrations)
                if (registration->RetryDelay && registration->RetryAt <= now)
                    SubscriptionLost(*registration, false);
            return;
        }
    }
    // By position: a handler run while a worker starts may change the list.
    for (size_t i = 0; i < FRegistrations.size(); ++i) {
        TEventInfoHolder& registration = *FRegistrations[i];
        if (!registration.RetryDelay || registration.RetryAt > now) continue;
        registration.RetryDelay = 0;
        try {
            // The namespace connection went with the service that dropped the subscription.
            TWmiAbstract* connection = GetNamespaceConnection(registration.NameSpace);
            connection->SetActive(false);
            connection->SetActive(true);
            StartEventQuery(registration);
        } catch (...) {
            // Unreachable still: silently again later.
            SubscriptionLost(registration, false);
        }
    }
    ArmRetry();
    WatchingMayHaveChanged();
}

void TWmiSystemEvents::UpdateEventQueries(bool active) {
    if (!active)
        for (auto& registration : FRegistrations)
            StopEventQuery(*registration);
    for (auto& [key, connection] : FConnections) {
        connection->SetMachineName(MachineName());
        connection->Credentials().Assign(Credentials());
        if (!active) connection->SetActive(false);
    }
    std::exception_ptr failure;
    if (active) {
        // By position: a handler run while a worker starts may change the list.
        for (size_t i = 0; i < FRegistrations.size(); ++i) {
            TEventInfoHolder& registration = *FRegistrations[i];
            if (Running(registration)) continue;
            try {
                StartEventQuery(registration);
            } catch (...) {
                // The others still start; this one is tried again later, and the first failure
                // is raised once all have been tried.
                if (!failure) failure = std::current_exception();
                SubscriptionLost(registration, false);
            }
        }
    }
    ArmRetry();
    if (failure) std::rethrow_exception(failure);
}

TEventInfoHolder& TWmiSystemEvents::AddEventQuery(
    const std::wstring& nameSpace, const std::wstring& query, const std::vector<int>& privileges,
    std::function<void(TEventInfoHolder&, IDispatch*)> deliver, const std::wstring& classToCheck) {
    auto registration = std::make_unique<TEventInfoHolder>();
    registration->NameSpace = nameSpace;
    registration->Query = query;
    registration->Privileges = privileges;
    registration->Deliver = std::move(deliver);
    registration->ClassToCheck = classToCheck;
    if (!Loading() && Active()) StartEventQuery(*registration);
    FRegistrations.push_back(std::move(registration));
    WatchingMayHaveChanged();
    return *FRegistrations.back();
}

bool TWmiSystemEvents::RemoveEventQuery(const std::wstring& query) {
    for (auto it = FRegistrations.begin(); it != FRegistrations.end(); ++it) {
        if ((*it)->Query != query) continue;
        std::unique_ptr<TEventInfoHolder> registration = std::move(*it);
        FRegistrations.erase(it);
        StopEventQuery(*registration);
        ArmRetry();
        WatchingMayHaveChanged();
        return true;
    }
    return false;
}

void TWmiSystemEvents::DeliverEvent(TEventInfoHolder& registration, IDispatch* event) {
    // The routine is copied: the handler may remove the registration it came through.
    const auto deliver = registration.Deliver;
    try {
        if (deliver) deliver(registration, event);
    } catch (...) {
    }
}

void TWmiSystemEvents::SetKind(TWmiEventKind kind, bool assigned,
                               std::function<void(TEventInfoHolder&, IDispatch*)> deliver) {
    const TWmiEventKindInfo& info = EventKindInfo(kind);
    if (assigned)
        AddEventQuery(info.NameSpace, info.Query, info.Privileges, std::move(deliver),
                      info.ClassToCheck);
    else
        RemoveEventQuery(info.Query);
}

template <typename THandler, typename TCall>
void TWmiSystemEvents::Assign(THandler& field, THandler handler, TWmiEventKind kind, TCall call) {
    const bool was = static_cast<bool>(field);
    field = std::move(handler);
    if (was == static_cast<bool>(field)) return;
    try {
        SetKind(kind, !was, [this, &field, call](TEventInfoHolder& registration, IDispatch* event) {
            // Copied: the handler may clear or reassign itself.
            if (const THandler current = field) call(current, registration, event);
        });
    } catch (...) {
        // A subscription that failed leaves the event unassigned, so assigning it again retries
        // instead of keeping a handler that nothing will call.
        if (!was) field = nullptr;
        throw;
    }
}

IDispatch* TWmiSystemEvents::ServicesOf(const TEventInfoHolder& registration) {
    return GetNamespaceConnection(registration.NameSpace)->Services();
}

namespace {
// The kinds whose handler hears only the sender: the event is not inspected.
auto SenderOnly(TComponent* sender) {
    return
        [sender](const TNotifyEvent& handler, TEventInfoHolder&, IDispatch*) { handler(sender); };
}

// The kinds whose payload comes from the event alone.
template <typename THandler>
auto FromEvent(TComponent* sender, void (*deliver)(const THandler&, TComponent*, IDispatch*)) {
    return [sender, deliver](const THandler& handler, TEventInfoHolder&, IDispatch* event) {
        deliver(handler, sender, event);
    };
}
} // namespace

void TWmiSystemEvents::SetOnUserAccount(TWin32AccountEvent handler) {
    Assign(FOnUserAccount, std::move(handler), TWmiEventKind::UserAccount,
           FromEvent(this, &DeliverAccountEvent));
}

void TWmiSystemEvents::SetOnGroupAccount(TWin32AccountEvent handler) {
    Assign(FOnGroupAccount, std::move(handler), TWmiEventKind::GroupAccount,
           FromEvent(this, &DeliverAccountEvent));
}

void TWmiSystemEvents::SetOnGroupMembership(TWin32GroupMembershipEvent handler) {
    Assign(FOnGroupMembership, std::move(handler), TWmiEventKind::GroupMembership,
           [this](const TWin32GroupMembershipEvent& current, TEventInfoHolder& registration,
                  IDispatch* event) {
               DeliverGroupMembershipEvent(current, this, event, ServicesOf(registration));
           });
}

void TWmiSystemEvents::SetOnEventLogApplication(TWin32EventLogEvent handler) {
    SetEventLog(FOnEventLogApplication, std::move(handler), TWmiEventKind::EventLogApplication);
}

void TWmiSystemEvents::SetOnEventLogSystem(TWin32EventLogEvent handler) {
    SetEventLog(FOnEventLogSystem, std::move(handler), TWmiEventKind::EventLogSystem);
}

void TWmiSystemEvents::SetOnEventLogSecurity(TWin32EventLogEvent handler) {
    SetEventLog(FOnEventLogSecurity, std::move(handler), TWmiEventKind::EventLogSecurity);
}

void TWmiSystemEvents::SetOnEventLogAny(TWin32EventLogEvent handler) {
    SetEventLog(FOnEventLogAny, std::move(handler), TWmiEventKind::EventLogAny);
}

void TWmiSystemEvents::SetEventLog(TWin32EventLogEvent& field, TWin32EventLogEvent handler,
                                   TWmiEventKind kind) {
    Assign(field, std::move(handler), kind,
           [this, kind](const TWin32EventLogEvent& current, TEventInfoHolder&, IDispatch* event) {
               DeliverEventLogEvent(current, kind, this, event);
           });
}

std::function<void(const TNotifyEvent&, TEventInfoHolder&, IDispatch*)>
TWmiSystemEvents::MediaEvent() {
    return [this](const TNotifyEvent& handler, TEventInfoHolder&, IDispatch* event) {
        std::wstring name;
        try {
            name = WmiText(WmiGet(event, L"InstanceName"));
        } catch (const std::exception&) {
            // An event without the property names no adapter.
        }
        // Not put back afterwards: the handler may have destroyed the watcher.
        FEventInstanceName = std::move(name);
        handler(this);
    };
}

void TWmiSystemEvents::SetOnNetworkConnect(TNotifyEvent handler) {
    Assign(FOnNetworkConnect, std::move(handler), TWmiEventKind::NetworkConnect, MediaEvent());
}

void TWmiSystemEvents::SetOnNetworkDisconnect(TNotifyEvent handler) {
    Assign(FOnNetworkDisconnect, std::move(handler), TWmiEventKind::NetworkDisconnect,
           MediaEvent());
}

void TWmiSystemEvents::SetOnUserLogon(TWin32UserSessionEvent handler) {
    SetUserSession(FOnUserLogon, std::move(handler), TWmiEventKind::UserLogon);
}

void TWmiSystemEvents::SetOnUserLogoff(TWin32UserSessionEvent handler) {
    SetUserSession(FOnUserLogoff, std::move(handler), TWmiEventKind::UserLogoff);
}

void TWmiSystemEvents::SetUserSession(TWin32UserSessionEvent& field, TWin32UserSessionEvent handler,
                                      TWmiEventKind kind) {
    Assign(field, std::move(handler), kind,
           [this](const TWin32UserSessionEvent& current, TEventInfoHolder& registration,
                  IDispatch* event) {
               DeliverUserSessionEvent(current, this, event, ServicesOf(registration));
           });
}

void TWmiSystemEvents::SetOnPrinter(TWin32PrinterEvent handler) {
    Assign(FOnPrinter, std::move(handler), TWmiEventKind::Printer,
           FromEvent(this, &DeliverPrinterEvent));
}

void TWmiSystemEvents::SetOnPrintJob(TWin32PrintJobEvent handler) {
    Assign(FOnPrintJob, std::move(handler), TWmiEventKind::PrintJob,
           FromEvent(this, &DeliverPrintJobEvent));
}

void TWmiSystemEvents::SetOnDocking(TNotifyEvent handler) {
    Assign(FOnDocking, std::move(handler), TWmiEventKind::Docking, SenderOnly(this));
}

void TWmiSystemEvents::SetOnService(TWin32ServiceEvent handler) {
    Assign(FOnService, std::move(handler), TWmiEventKind::Service,
           FromEvent(this, &DeliverServiceEvent));
}

void TWmiSystemEvents::SetOnCDROMInserted(TWin32CDROMEvent handler) {
    Assign(FOnCDROMInserted, std::move(handler), TWmiEventKind::CDROMInserted,
           FromEvent(this, &DeliverCDROMEvent));
}

void TWmiSystemEvents::SetOnCDROMEjected(TWin32CDROMEvent handler) {
    Assign(FOnCDROMEjected, std::move(handler), TWmiEventKind::CDROMEjected,
           FromEvent(this, &DeliverCDROMEvent));
}
