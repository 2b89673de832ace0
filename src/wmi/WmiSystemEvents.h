#pragma once
// Turns WMI event queries into component events raised on the user-interface thread. Each
// assigned event is one registration; while the watcher is active each registration has a
// worker thread of its own that subscribes in its own apartment, waits for events and hands
// each one over, waiting until its handler has run. A subscription that WMI drops (the
// service restarted), or that cannot be made when the watcher is activated (WMI not started
// yet at logon), is made again after a pause that doubles from one second to a minute.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "wmi/WmiComponent.h"
#include "wmi/WmiEventKinds.h"

class TWmiEventThread;

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

// The query as subscribed: its first "%d" becomes max(1, poolingInterval div 10) seconds;
// nothing else of it changes.
std::wstring WmiEventQueryText(const std::wstring& query, int poolingInterval);

class TWmiSystemEvents : public TWmiComponent {
public:
    explicit TWmiSystemEvents(TComponent* owner);
    ~TWmiSystemEvents() override;

    void SetActive(bool active) override;

    const TWin32AccountEvent& OnUserAccount() const { return FOnUserAccount; }
    void SetOnUserAccount(TWin32AccountEvent handler);
    const TWin32AccountEvent& OnGroupAccount() const { return FOnGroupAccount; }
    void SetOnGroupAccount(TWin32AccountEvent handler);
    const TWin32GroupMembershipEvent& OnGroupMembership() const { return FOnGroupMembership; }
    void SetOnGroupMembership(TWin32GroupMembershipEvent handler);
    const TWin32EventLogEvent& OnEventLogApplication() const { return FOnEventLogApplication; }
    void SetOnEventLogApplication(TWin32EventLogEvent handler);
    const TWin32EventLogEvent& OnEventLogSystem() const { return FOnEventLogSystem; }
    void SetOnEventLogSystem(TWin32EventLogEvent handler);
    const TWin32EventLogEvent& OnEventLogSecurity() const { return FOnEventLogSecurity; }
    void SetOnEventLogSecurity(TWin32EventLogEvent handler);
    const TWin32EventLogEvent& OnEventLogAny() const { return FOnEventLogAny; }
    void SetOnEventLogAny(TWin32EventLogEvent handler);
    const TNetworkEvent& OnNetworkConnect() const { return FOnNetworkConnect; }
    void SetOnNetworkConnect(TNetworkEvent handler);
    const TNetworkEvent& OnNetworkDisconnect() const { return FOnNetworkDisconnect; }
    void SetOnNetworkDisconnect(TNetworkEvent handler);
    const TWin32UserSessionEvent& OnUserLogon() const { return FOnUserLogon; }
    void SetOnUserLogon(TWin32UserSessionEvent handler);
    const TWin32UserSessionEvent& OnUserLogoff() const { return FOnUserLogoff; }
    void SetOnUserLogoff(TWin32UserSessionEvent handler);
    const TWin32PrinterEvent& OnPrinter() const { return FOnPrinter; }
    void SetOnPrinter(TWin32PrinterEvent handler);
    const TWin32PrintJobEvent& OnPrintJob() const { return FOnPrintJob; }
    void SetOnPrintJob(TWin32PrintJobEvent handler);
    const TNotifyEvent& OnDocking() const { return FOnDocking; }
    void SetOnDocking(TNotifyEvent handler);
    const TWin32ServiceEvent& OnService() const { return FOnService; }
    void SetOnService(TWin32ServiceEvent handler);
    const TWin32CDROMEvent& OnCDROMInserted() const { return FOnCDROMInserted; }
    void SetOnCDROMInserted(TWin32CDROMEvent handler);
    const TWin32CDROMEvent& OnCDROMEjected() const { return FOnCDROMEjected; }
    void SetOnCDROMEjected(TWin32CDROMEvent handler);

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
    // Whether the watcher is active and every registration's worker is waiting for events.
    bool Watching() const;
    // Raised when Watching changes: a subscription made, lost, or waiting to be made again.
    TNotifyEvent OnWatchingChange;

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
    void WatchingMayHaveChanged();
    // Delivery of the network pair: the handler hears the sender and the event's adapter.
    std::function<void(const TNetworkEvent&, TEventInfoHolder&, IDispatch*)> MediaEvent();
    void SetKind(TWmiEventKind kind, bool assigned,
                 std::function<void(TEventInfoHolder&, IDispatch*)> deliver);
    // Registers the kind when the handler becomes assigned, removes it when it is cleared;
    // call hands an event to the handler assigned at the moment of delivery.
    template <typename THandler, typename TCall>
    void AssignHandler(THandler& field, THandler handler, TWmiEventKind kind, TCall call);
    void SetEventLog(TWin32EventLogEvent& field, TWin32EventLogEvent handler, TWmiEventKind kind);
    void SetUserSession(TWin32UserSessionEvent& field, TWin32UserSessionEvent handler,
                        TWmiEventKind kind);
    // The services object of the registration's namespace connection, or nullptr.
    IDispatch* ServicesOf(const TEventInfoHolder& registration);

    std::map<std::wstring, std::unique_ptr<TWmiAbstract>> FConnections; // by upper-case name
    std::vector<std::unique_ptr<TEventInfoHolder>> FRegistrations;
    TWin32AccountEvent FOnUserAccount, FOnGroupAccount;
    TWin32GroupMembershipEvent FOnGroupMembership;
    TWin32EventLogEvent FOnEventLogApplication, FOnEventLogSystem, FOnEventLogSecurity,
        FOnEventLogAny;
    TTimer* FRetryTimer;
    DWORD FFirstPause = 1000, FLongestPause = 60000;
    // Activation was asked for: kept while WMI cannot be reached, so that retries go on.
    bool FWanted = false;
    bool FWatching = false;
    TNetworkEvent FOnNetworkConnect, FOnNetworkDisconnect;
    TWin32UserSessionEvent FOnUserLogon, FOnUserLogoff;
    TWin32PrinterEvent FOnPrinter;
    TWin32PrintJobEvent FOnPrintJob;
    TNotifyEvent FOnDocking;
    TWin32ServiceEvent FOnService;
    TWin32CDROMEvent FOnCDROMInserted, FOnCDROMEjected;
};
