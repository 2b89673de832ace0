#include "wmi/WmiSystemEvents.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cwchar>

#include "framework/MessageWindow.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"
#include "framework/WbemScripting.h"
#include "wmi/WmiAutomation.h"
#include "wmi/WmiEventPayloads.h"

namespace {
const UINT kDeliverMessage = WM_APP + 1;
const int kNextEventWait = 10;
const DWORD kPause = 100;
const int kSecurityPrivilege = 7;
// What the delivery window answers a worker.
const LRESULT kTaken = 1, kRefused = 2;

const wchar_t kNetworkConnectQuery[] = L"select * from MSNdis_StatusMediaConnect";
const wchar_t kNetworkDisconnectQuery[] = L"select * from MSNdis_StatusMediaDisconnect";
const wchar_t kPrinterQuery[] = L"select * from __InstanceOperationEvent within %d where "
                                L"TargetInstance isa \"Win32_Printer\"";
} // namespace

// What a worker and the user-interface thread share. The worker holds it for its whole life,
// so a delivery in progress outlives the registration, the worker object and the watcher.
struct TWmiEventShared {
    ScopedHandle StopEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> Finished{false};
    std::atomic<IStream*> Slot{nullptr};
    HWND Window = nullptr;
    // User-interface thread only: cleared when the registration stops.
    TWmiSystemEvents* Watcher = nullptr;
    TEventInfoHolder* Registration = nullptr;
    bool Delivering = false;
};

class TWmiEventThread {
public:
    TWmiEventThread(TWmiSystemEvents* watcher, TEventInfoHolder* registration, HWND window);
    ~TWmiEventThread();
    bool Finished() const { return FShared->Finished; }
    // Ends the worker. Inside its own delivery the thread cannot be waited for: it is let go
    // and ends by itself once the delivery has unwound.
    void Stop();

private:
    static DWORD WINAPI Run(void* parameter);
    static bool HandOver(TWmiEventShared& shared, IDispatch* event);

    std::shared_ptr<TWmiEventShared> FShared = std::make_shared<TWmiEventShared>();
    ScopedHandle FThread;
};

namespace {
void ReleaseMarshalled(IStream* stream) {
    if (!stream) return;
    const LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CoReleaseMarshalData(stream);
    stream->Release();
}

LRESULT CALLBACK DeliveryWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kDeliverMessage) return DefWindowProcW(window, message, wParam, lParam);
    auto& shared = *reinterpret_cast<TWmiEventShared*>(lParam);
    IStream* stream = shared.Slot.exchange(nullptr);
    if (!stream) return kRefused;
    Microsoft::WRL::ComPtr<IDispatch> event;
    if (FAILED(CoGetInterfaceAndReleaseStream(stream, kIidSWbemObject,
                                              reinterpret_cast<void**>(event.GetAddressOf()))))
        return kRefused;
    if (!shared.Watcher) return kTaken;
    shared.Delivering = true;
    try {
        shared.Watcher->DeliverEvent(*shared.Registration, event.Get());
    } catch (...) {
    }
    // The handler may have stopped the registration or destroyed the watcher: only the shared
    // state, which the waiting worker keeps alive, is touched from here on.
    shared.Delivering = false;
    return kTaken;
}

// One message-only window per user-interface thread receives the hand-overs.
HWND DeliveryWindow() {
    thread_local HWND window = nullptr;
    if (window && IsWindow(window)) return window;
    window = CreateMessageWindow(L"TWmiSystemEventsDelivery", DeliveryWindowProc);
    if (!window) WmiCheck(HRESULT_FROM_WIN32(GetLastError()));
    return window;
}
} // namespace

TWmiEventThread::TWmiEventThread(TWmiSystemEvents* watcher, TEventInfoHolder* registration,
                                 HWND window) {
    if (!FShared->StopEvent) WmiCheck(HRESULT_FROM_WIN32(GetLastError()));
    FShared->Window = window;
    FShared->Watcher = watcher;
    FShared->Registration = registration;
    IStream* stream = nullptr;
    WmiCheck(CoMarshalInterThreadInterfaceInStream(kIidSWbemEventSource,
                                                   registration->EventSource.Get(), &stream));
    FShared->Slot = stream;
    auto* parameter = new std::shared_ptr<TWmiEventShared>(FShared);
    DWORD id = 0;
    FThread.Reset(CreateThread(nullptr, 0, &Run, parameter, CREATE_SUSPENDED, &id));
    if (!FThread) {
        const HRESULT error = HRESULT_FROM_WIN32(GetLastError());
        delete parameter;
        ReleaseMarshalled(FShared->Slot.exchange(nullptr));
        WmiCheck(error);
    }
    SetThreadPriority(FThread.Get(), THREAD_PRIORITY_LOWEST);
    ResumeThread(FThread.Get());
}

TWmiEventThread::~TWmiEventThread() {
    Stop();
}

void TWmiEventThread::Stop() {
    SetEvent(FShared->StopEvent.Get());
    if (FThread && !FShared->Delivering) {
        // A COM-aware wait: a hand-over the worker is blocked in still runs and reaches its
        // handler, while posted messages, timers and menus wait for the message loop.
        HANDLE handles[] = {FThread.Get()};
        DWORD index = 0;
        CoWaitForMultipleHandles(0, INFINITE, 1, handles, &index);
    }
    FThread.Reset();
    FShared->Watcher = nullptr;
    FShared->Registration = nullptr;
}

bool TWmiEventThread::HandOver(TWmiEventShared& shared, IDispatch* event) {
    IStream* stream = nullptr;
    if (FAILED(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, event, &stream))) return false;
    shared.Slot = stream;
    const LRESULT answer =
        SendMessageW(shared.Window, kDeliverMessage, 0, reinterpret_cast<LPARAM>(&shared));
    // Nobody took it (the window is gone): the event must not stay marshalled.
    ReleaseMarshalled(shared.Slot.exchange(nullptr));
    return answer == kTaken;
}

DWORD WINAPI TWmiEventThread::Run(void* parameter) {
    const std::unique_ptr<std::shared_ptr<TWmiEventShared>> holder(
        static_cast<std::shared_ptr<TWmiEventShared>*>(parameter));
    TWmiEventShared& shared = **holder;
    try {
        ScopedComInitializer com;
        Microsoft::WRL::ComPtr<IDispatch> source;
        IStream* stream = shared.Slot.exchange(nullptr);
        if (com.Succeeded() && stream &&
            SUCCEEDED(CoGetInterfaceAndReleaseStream(
                stream, kIidSWbemEventSource, reinterpret_cast<void**>(source.GetAddressOf())))) {
            const ScopedVariant wait(kNextEventWait);
            while (WaitForSingleObject(shared.StopEvent.Get(), 0) != WAIT_OBJECT_0) {
                HRESULT result = S_OK;
                Microsoft::WRL::ComPtr<IDispatch> event;
                try {
                    event = WmiObject(CallMethod(source.Get(), L"NextEvent", {wait.Get()}));
                } catch (const EComError& e) {
                    result = e.Code() ? e.Code() : E_FAIL;
                }
                // The pause waits on the stop event, so a stop need not sit it out.
                if (WaitForSingleObject(shared.StopEvent.Get(), kPause) == WAIT_OBJECT_0) break;
                if (result == kWbemErrTimedOut) continue;
                if (FAILED(result) || !event) break;
                if (!HandOver(shared, event.Get())) break;
            }
        } else if (stream) {
            ReleaseMarshalled(stream);
        }
    } catch (...) {
    }
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

TWmiSystemEvents::TWmiSystemEvents(TComponent* owner) : TWmiComponent(owner) {}

TWmiSystemEvents::~TWmiSystemEvents() {
    try {
        SetActive(false);
    } catch (...) {
    }
    for (auto& registration : FRegistrations)
        StopEventQuery(*registration);
    FRegistrations.clear();
    FConnections.clear();
}

bool TWmiSystemEvents::Running(const TEventInfoHolder& registration) {
    return registration.Worker && !registration.Worker->Finished();
}

void TWmiSystemEvents::SetActive(bool active) {
    if (!active) UpdateEventQueries(false);
    TWmiComponent::SetActive(active);
    if (!Loading() && active) UpdateEventQueries(true);
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
    connection->Credentials() = Credentials();
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
    IDispatch* services = GetNamespaceConnection(registration.NameSpace)->Services();
    if (!services) return;
    if (!registration.ClassToCheck.empty()) {
        try {
            WmiCall(services, L"Get",
                    {ScopedVariant(registration.ClassToCheck).Get(), ScopedVariant(0).Get()});
        } catch (const EComError&) {
            return;
        }
    }
    if (!registration.Privileges.empty()) {
        auto security = WmiObject(WmiGet(services, L"Security_"));
        auto privileges = WmiObject(WmiGet(security.Get(), L"Privileges"));
        for (int privilege : registration.Privileges)
            WmiCall(privileges.Get(), L"Add",
                    {ScopedVariant(privilege).Get(), ScopedVariant(true).Get()});
    }
    ScopedVariant query(WmiEventQueryText(registration.Query, PoolingInterval())), language(L"WQL"),
        flags(kWbemFlagReturnImmediately | kWbemFlagForwardOnly);
    registration.EventSource = WmiObject(
        WmiCall(services, L"ExecNotificationQuery", {query.Get(), language.Get(), flags.Get()}));
    if (!registration.EventSource) WmiCheck(E_NOINTERFACE);
    registration.Worker = std::make_unique<TWmiEventThread>(this, &registration, DeliveryWindow());
}

void TWmiSystemEvents::StopEventQuery(TEventInfoHolder& registration) {
    // Moved out first: a handler run by the wait below may stop this registration again.
    std::unique_ptr<TWmiEventThread> worker = std::move(registration.Worker);
    worker.reset();
    registration.EventSource.Reset();
}

void TWmiSystemEvents::UpdateEventQueries(bool active) {
    if (!active)
        for (auto& registration : FRegistrations)
            StopEventQuery(*registration);
    for (auto& [key, connection] : FConnections) {
        connection->SetMachineName(MachineName());
        connection->Credentials() = Credentials();
        connection->SetActive(active);
    }
    if (active)
        for (auto& registration : FRegistrations)
            if (!registration->EventSource) StartEventQuery(*registration);
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
    return *FRegistrations.back();
}

bool TWmiSystemEvents::RemoveEventQuery(const std::wstring& query) {
    for (auto it = FRegistrations.begin(); it != FRegistrations.end(); ++it) {
        if ((*it)->Query != query) continue;
        std::unique_ptr<TEventInfoHolder> registration = std::move(*it);
        FRegistrations.erase(it);
        StopEventQuery(*registration);
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

void TWmiSystemEvents::SetOnNetworkConnect(TNotifyEvent handler) {
    Assign(FOnNetworkConnect, std::move(handler), TWmiEventKind::NetworkConnect, SenderOnly(this));
}

void TWmiSystemEvents::SetOnNetworkDisconnect(TNotifyEvent handler) {
    Assign(FOnNetworkDisconnect, std::move(handler), TWmiEventKind::NetworkDisconnect,
           SenderOnly(this));
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
