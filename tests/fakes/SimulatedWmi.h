#pragma once
// The simulated WMI provider as tests drive it: what the provider of simulation mode does, plus
// answers and failures a test asks for and the record of everything callers did.
#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fakes/SimInstanceEvents.h"
#include "framework/ComTypes.h"
#include "sim/SimProbe.h"
#include "sim/SimProvider.h"

class TSimulatedWmi : private ISimProbe {
public:
    // Installs the provider (with the two default adapters) and attaches to it. Installing
    // again answers the one already installed.
    static TSimulatedWmi& Install();
    static void Uninstall();
    static TSimulatedWmi* Installed(); // or nullptr

    std::vector<TSimAdapter>& Adapters() { return FProvider.Adapters(); }
    void SetDefaultAdapters() { FProvider.SetDefaultAdapters(); }
    // The default machine's two Ethernet adapters alone: 1 "以太网", static 192.168.1.20/24 with
    // gateway 192.168.1.1; 8 "以太网 2", DHCP from 192.168.8.1.
    void SetTwoAdapters() {
        FProvider.SetDefaultAdapters();
        Adapters().resize(2);
    }
    void RaiseMediaEvent(bool connected, const std::wstring& instanceName) {
        FProvider.RaiseMediaEvent(connected, instanceName);
    }
    static std::wstring Describe(const TSimCall& call) { return TSimProvider::Describe(call); }

    // What the adapter methods do instead of succeeding. -1 stands for every adapter; a setting
    // for one adapter wins over the one for every adapter. A code is answered (the adapter
    // changes only when it is 0 or 1); a raise leaves the adapter as it was.
    void SetResult(const std::wstring& method, uint32_t code, int adapterIndex = -1);
    void SetRaise(const std::wstring& method, HRESULT error, int adapterIndex = -1);
    void SetDelay(DWORD milliseconds) { FProvider.SetDelay(milliseconds); }
    // The WMI service cannot be reached: winmgmts binds and ConnectServer fail with this error
    // (S_OK: reachable again).
    void SetServiceError(HRESULT error) { FServiceError = error; }
    // A query on that class is accepted and fails when its objects are first asked for (at once
    // when it was not asked to return immediately). S_OK: it succeeds again.
    void SetQueryError(const std::wstring& className, HRESULT error);
    // ExecNotificationQuery with exactly this text fails with this error (S_OK: it succeeds).
    void SetNotificationQueryError(const std::wstring& query, HRESULT error);
    // The next NextEvent call of any event source, on any thread, fails with this error.
    void FailNextEvent(HRESULT error) { FNextEventError = error; }
    void ResetBehaviour(); // no results, raises, delay, service or query error set

    // Classes of root\cimv2 beside the adapter classes, for value forms those do not have (an
    // embedded object, an empty array, ...). Adding a class of the same name again replaces it;
    // the adapter classes cannot be replaced. Instance values are copied, in property order.
    void AddClass(const std::wstring& name, const std::vector<TSimPropertyDef>& properties);
    void AddInstance(const std::wstring& className, const std::vector<VARIANT>& values);
    void RemoveAddedClasses() { FAddedClasses.clear(); }

    // An intrinsic event of root\cimv2 ("__InstanceCreationEvent", ...) whose TargetInstance is
    // an instance of an added class, with the instance before the change when previous has
    // values, for every event source opened there whose query selects it.
    void RaiseInstanceEvent(const std::wstring& eventClass, const std::wstring& targetClass,
                            const std::vector<VARIANT>& target,
                            const std::vector<VARIANT>& previous = {});
    // An extrinsic event of root\cimv2: an instance of an added class.
    void RaiseEvent(const std::wstring& className, const std::vector<VARIANT>& values);
    // Event queries on root\cimv2 fail with this error (S_OK: they succeed again).
    void SetEventQueryError(HRESULT error) { FInstanceEvents.SetOpenError(error); }

    const std::vector<TSimCall>& Calls() const { return FCalls; }
    void ClearCalls(); // also clears every other record below
    const std::vector<std::wstring>& Queries() const { return FQueries; } // every ExecQuery text
    const std::vector<TSimQuery>& QueryDetails() const { return FQueryDetails; }
    int MonikerBinds() const { return static_cast<int>(FMonikerNames.size()); }
    const std::vector<std::wstring>& MonikerNames() const { return FMonikerNames; }
    const std::vector<TSimConnect>& Connects() const { return FConnects; }
    const std::vector<TSimGet>& Gets() const { return FGets; }
    // The impersonation level last written to any Security_ (0 while none was written).
    int ImpersonationLevel() const { return FImpersonationLevel; }
    const std::vector<TSimPrivilege>& Privileges() const { return FPrivileges; }
    const std::vector<TSimQuery>& NotificationQueries() const { return FNotificationQueries; }

    // The test's probe, after each adapter method call. One that raises fails the running test
    // (the call itself answers as it would have).
    std::function<void(const TSimCall&)> OnCall;

    ~TSimulatedWmi() override;
    TSimulatedWmi(const TSimulatedWmi&) = delete;
    TSimulatedWmi& operator=(const TSimulatedWmi&) = delete;

private:
    struct TSetting {
        std::wstring Method;
        int AdapterIndex = -1;
        TSimOutcome Outcome;
    };
    struct TAddedClass {
        std::shared_ptr<TSimClassDef> Class;
        std::vector<std::vector<ScopedVariant>> Instances;
    };

    explicit TSimulatedWmi(TSimProvider& provider);
    void Set(const std::wstring& method, int adapterIndex, TSimOutcome outcome);
    TAddedClass* FindAdded(const std::wstring& name);

    // ISimProbe
    TSimOutcome MethodStarting(const TSimCall& call) override;
    void MethodDone(const TSimCall& call) override;
    HRESULT ServiceError() override { return FServiceError; }
    HRESULT QueryError(const std::wstring& className) override;
    HRESULT NotificationQueryError(const std::wstring& query) override;
    HRESULT NextEventError() override { return FNextEventError.exchange(S_OK); }
    std::shared_ptr<const TSimClassDef> FindClass(const std::wstring& name) override;
    std::vector<std::vector<ScopedVariant>> Instances(const TSimClassDef& cls) override;
    Microsoft::WRL::ComPtr<IDispatch> OpenEventSource(const std::wstring& nameSpace,
                                                      const TSimQuery& query) override;
    void MonikerBound(const std::wstring& name) override { FMonikerNames.push_back(name); }
    void Connected(const TSimConnect& connect) override { FConnects.push_back(connect); }
    void Queried(const TSimQuery& query) override;
    void NotificationQueried(const TSimQuery& query) override;
    void Got(const TSimGet& get) override { FGets.push_back(get); }
    void ImpersonationSet(int level) override { FImpersonationLevel = level; }
    void PrivilegeAdded(const TSimPrivilege& privilege) override;

    TSimProvider& FProvider;
    std::vector<TSetting> FSettings;
    HRESULT FServiceError = S_OK;
    std::vector<std::pair<std::wstring, HRESULT>> FQueryErrors; // by class name
    // Asked on the threads that subscribe or wait for events.
    std::mutex FNotificationLock;
    std::vector<std::pair<std::wstring, HRESULT>> FNotificationQueryErrors;
    std::atomic<HRESULT> FNextEventError{S_OK};
    std::vector<TAddedClass> FAddedClasses;
    TSimInstanceEvents FInstanceEvents;

    std::vector<TSimCall> FCalls;
    std::vector<size_t> FRunning; // calls not yet answered, innermost last
    std::vector<std::wstring> FQueries;
    std::vector<TSimQuery> FQueryDetails;
    std::vector<std::wstring> FMonikerNames;
    std::vector<TSimConnect> FConnects;
    std::vector<TSimGet> FGets;
    int FImpersonationLevel = 0;
    std::vector<TSimPrivilege> FPrivileges;
    std::vector<TSimQuery> FNotificationQueries;
};
