#pragma once
// Turns WMI event queries into component events raised on the user-interface thread. Each
// assigned event is one registration; while the watcher is active each registration has a
// worker thread of its own that subscribes in its own apartment, waits for events and hands
// each one over, waiting until its handler has run. A subscription that WMI drops (the
// service restarted) is made again after a pause that doubles from one second to a minute.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "wmi/WmiComponent.h"

enum TWmiEventAction { weaUnknown, weaCreated, weaDeleted, weaModified };

class TWmiSystemEvents;
class TWmiEventThread;

using TWin32PrinterEvent = std::function<void(TComponent* sender, const VARIANT& instance,
                                              const std::wstring& name, TWmiEventAction action)>;

// One registered event query.
struct TEventInfoHolder {
    TEventInfoHolder();
    ~TEventInfoHolder(); // stops the worker
    TEventInfoHolder(const TEventInfoHolder&) = delete;
    TEventInfoHolder& operator=(const TEventInfoHolder&) = delete;

    std::function<void(TEventInfoHolder& registration, IDispatch* event)> Deliver;
    std::wstring NameSpace;
    std::wstring Query; // may hold "%d"
    std::wstring ClassToCheck;
    std::vector<int> Privileges;
    // Holds the event source in its own apartment; empty while not started.
    std::unique_ptr<TWmiEventThread> Worker;
    // The pause before the pending re-subscription (0: none pending), and when it is due.
    DWORD RetryDelay = 0;
    ULONGLONG RetryAt = 0;
    // Subscriptions lost in a row without one that worked between them.
    unsigned Failures = 0;
};

// The kinds of event the watcher knows, with what each registers.
enum class TWmiEventKind {
    UserAccount,
    GroupAccount,
    GroupMembership,
    EventLogApplication,
    EventLogSystem,
    EventLogSecurity,
    EventLogAny,
    NetworkConnect,
    NetworkDisconnect,
    UserLogon,
    UserLogoff,
    Printer,
    PrintJob,
    Docking,
    Service,
    CDROMInserted,
    CDROMEjected,
};
struct TWmiEventKindInfo {
    const wchar_t* NameSpace;
    const wchar_t* Query;
    const wchar_t* ClassToCheck;
    std::vector<int> Privileges;
};
const TWmiEventKindInfo& EventKindInfo(TWmiEventKind kind);

// The class of the event object's path: created, deleted, modified or unknown.
TWmiEventAction EventActionOf(IDispatch* event);
// The query as subscribed: "%d" becomes max(1, poolingInterval div 10) seconds; a text that
// does not format stays as it is.
std::wstring WmiEventQueryText(const std::wstring& query, int poolingInterval);
// The value of key in an object path (`Name="x"`), or "" when the key is absent.
std::wstring ObjectPathKey(const std::wstring& path, const std::wstring& key);

class TWmiSystemEvents : public TWmiComponent {
public:
    explicit TWmiSystemEvents(TComponent* owner);
    ~TWmiSystemEvents() override;

    void SetActive(bool active) override;

    const TNotifyEvent& OnNetworkConnect() const { return FOnNetworkConnect; }
    void SetOnNetworkConnect(TNotifyEvent handler);
    const TNotifyEvent& OnNetworkDisconnect() const { return FOnNetworkDisconnect; }
    void SetOnNetworkDisconnect(TNotifyEvent handler);
    const TWin32PrinterEvent& OnPrinter() const { return FOnPrinter; }
    void SetOnPrinter(TWin32PrinterEvent handler);

    TEventInfoHolder& AddEventQuery(const std::wstring& nameSpace, const std::wstring& query,
                                    const std::vector<int>& privileges,
                                    std::function<void(TEventInfoHolder&, IDispatch*)> deliver,
                                    const std::wstring& classToCheck);
    bool RemoveEventQuery(const std::wstring& query);

    // The namespace connection of that namespace, created on first use.
    TWmiAbstract* GetNamespaceConnection(const std::wstring& nameSpace);
    size_t NamespaceConnectionCount() const { return FConnections.size(); }
    const std::vector<std::unique_ptr<TEventInfoHolder>>& Registrations() const {
        return FRegistrations;
    }
    // Whether the registration's worker is waiting for events.
    static bool Running(const TEventInfoHolder& registration);

    // Called on the user-interface thread with the event handed over by a worker.
    void DeliverEvent(TEventInfoHolder& registration, IDispatch* event);
    // A worker whose subscription WMI dropped: it is made again later.
    void SubscriptionLost(TEventInfoHolder& registration, bool hadWorked);

    // The first and the longest pause before a lost subscription is made again.
    void SetRetryPauses(DWORD first, DWORD longest);

protected:
    void SettingsChanged() override;
    void RestartPolling() override;
    void Loaded() override;

private:
    void StartEventQuery(TEventInfoHolder& registration);
    void StopEventQuery(TEventInfoHolder& registration);
    void UpdateEventQueries(bool active);
    void ArmRetry();
    void Retry();
    void SetKind(TWmiEventKind kind, bool assigned,
                 std::function<void(TEventInfoHolder&, IDispatch*)> deliver);

    std::map<std::wstring, std::unique_ptr<TWmiAbstract>> FConnections; // by upper-case name
    std::vector<std::unique_ptr<TEventInfoHolder>> FRegistrations;
    TTimer* FRetryTimer;
    DWORD FFirstPause = 1000, FLongestPause = 60000;
    TNotifyEvent FOnNetworkConnect, FOnNetworkDisconnect;
    TWin32PrinterEvent FOnPrinter;
};
