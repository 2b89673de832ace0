#include "wmi/WmiSystemEvents.h"

#include <algorithm>
#include <utility>

#include "framework/Strings.h"
#include "wmi/WmiAutomation.h"
#include "wmi/WmiEventPayloads.h"
#include "wmi/WmiEventThread.h"

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
    // The interval in seconds in place of "%d". The query is no format: a "%s" in a LIKE
    // pattern must not be read as an argument.
    std::wstring text = query;
    ReplaceFirst(text, L"%d", std::to_wstring(std::max(1, poolingInterval / 10)));
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
    TWmiEventSubscription subscription{connection->MachineName(), connection->NameSpace(),
                                       WmiEventQueryText(registration.Query, PoolingInterval()),
                                       connection->Credentials(), registration.Privileges};
    TWmiEventReceiver receiver{
        [this, &registration](IDispatch* event) { DeliverEvent(registration, event); },
        [this, &registration](bool hadWorked) { SubscriptionLost(registration, hadWorked); }};
    registration.Worker =
        std::make_unique<TWmiEventThread>(std::move(subscription), std::move(receiver));
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
void TWmiSystemEvents::AssignHandler(THandler& field, THandler handler, TWmiEventKind kind,
                                     TCall call) {
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
    AssignHandler(FOnUserAccount, std::move(handler), TWmiEventKind::UserAccount,
                  FromEvent(this, &DeliverAccountEvent));
}

void TWmiSystemEvents::SetOnGroupAccount(TWin32AccountEvent handler) {
    AssignHandler(FOnGroupAccount, std::move(handler), TWmiEventKind::GroupAccount,
                  FromEvent(this, &DeliverAccountEvent));
}

void TWmiSystemEvents::SetOnGroupMembership(TWin32GroupMembershipEvent handler) {
    AssignHandler(FOnGroupMembership, std::move(handler), TWmiEventKind::GroupMembership,
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
    AssignHandler(
        field, std::move(handler), kind,
        [this, kind](const TWin32EventLogEvent& current, TEventInfoHolder&, IDispatch* event) {
            DeliverEventLogEvent(current, kind, this, event);
        });
}

std::function<void(const TNetworkEvent&, TEventInfoHolder&, IDispatch*)>
TWmiSystemEvents::MediaEvent() {
    return [this](const TNetworkEvent& handler, TEventInfoHolder&, IDispatch* event) {
        std::wstring name;
        try {
            name = WmiText(WmiGet(event, L"InstanceName"));
        } catch (const std::exception&) {
            // An event without the property names no adapter.
        }
        // Handed with the event: the next one may come while this handler dispatches messages.
        handler(this, name);
    };
}

void TWmiSystemEvents::SetOnNetworkConnect(TNetworkEvent handler) {
    AssignHandler(FOnNetworkConnect, std::move(handler), TWmiEventKind::NetworkConnect,
                  MediaEvent());
}

void TWmiSystemEvents::SetOnNetworkDisconnect(TNetworkEvent handler) {
    AssignHandler(FOnNetworkDisconnect, std::move(handler), TWmiEventKind::NetworkDisconnect,
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
    AssignHandler(field, std::move(handler), kind,
                  [this](const TWin32UserSessionEvent& current, TEventInfoHolder& registration,
                         IDispatch* event) {
                      DeliverUserSessionEvent(current, this, event, ServicesOf(registration));
                  });
}

void TWmiSystemEvents::SetOnPrinter(TWin32PrinterEvent handler) {
    AssignHandler(FOnPrinter, std::move(handler), TWmiEventKind::Printer,
                  FromEvent(this, &DeliverPrinterEvent));
}

void TWmiSystemEvents::SetOnPrintJob(TWin32PrintJobEvent handler) {
    AssignHandler(FOnPrintJob, std::move(handler), TWmiEventKind::PrintJob,
                  FromEvent(this, &DeliverPrintJobEvent));
}

void TWmiSystemEvents::SetOnDocking(TNotifyEvent handler) {
    AssignHandler(FOnDocking, std::move(handler), TWmiEventKind::Docking, SenderOnly(this));
}

void TWmiSystemEvents::SetOnService(TWin32ServiceEvent handler) {
    AssignHandler(FOnService, std::move(handler), TWmiEventKind::Service,
                  FromEvent(this, &DeliverServiceEvent));
}

void TWmiSystemEvents::SetOnCDROMInserted(TWin32CDROMEvent handler) {
    AssignHandler(FOnCDROMInserted, std::move(handler), TWmiEventKind::CDROMInserted,
                  FromEvent(this, &DeliverCDROMEvent));
}

void TWmiSystemEvents::SetOnCDROMEjected(TWin32CDROMEvent handler) {
    AssignHandler(FOnCDROMEjected, std::move(handler), TWmiEventKind::CDROMEjected,
                  FromEvent(this, &DeliverCDROMEvent));
}
