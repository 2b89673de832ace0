#pragma once
// The base of the WMI components: one connection to a namespace (TWmiAbstract), and the
// component with a polling timer (TWmiComponent). Also the process's COM security set-up.
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/Timer.h"
#include "wmi/WmiCredentials.h"

// How long one NextEvent call waits for an event, in milliseconds: short, so that a poll or a
// worker asked to stop is never held up for long.
constexpr int NextEventWaitMs = 10;

// COM on this thread as a single-threaded apartment, and the process's security with
// impersonation, which WMI needs. Runs once per thread; later calls do nothing.
void InitComSecurity();
// Makes the application's start-up run InitComSecurity before any window exists.
void ChainComSecurityIntoStartup();

// The services object of nameSpace on machine (empty: this computer) with impersonation, in
// the calling thread's apartment.
Microsoft::WRL::ComPtr<IDispatch> WmiConnectServer(const std::wstring& machine,
                                                   const std::wstring& nameSpace,
                                                   const TWmiCredentials& credentials);

class TWmiAbstract : public TComponent {
public:
    explicit TWmiAbstract(TComponent* owner);
    ~TWmiAbstract() override;

    virtual void SetActive(bool active);
    virtual bool Active() const { return FServices != nullptr; }
    // The connected services object, or nullptr.
    IDispatch* Services() const { return FServices.Get(); }

    const std::wstring& MachineName() const { return FMachineName; }
    void SetMachineName(const std::wstring& name);
    const std::wstring& NameSpace() const { return FNameSpace; }
    void SetNameSpace(const std::wstring& nameSpace);
    TWmiCredentials& Credentials() { return FCredentials; }

    TNotifyEvent OnAfterDeactivate, OnAfterActivate;

protected:
    // The machine, namespace or credentials changed (not while loading).
    virtual void SettingsChanged() {}
    void Loaded() override;

private:
    void Connect();
    void SettingChanged();

    Microsoft::WRL::ComPtr<IDispatch> FServices;
    TWmiCredentials FCredentials;
    std::wstring FMachineName;
    std::wstring FNameSpace = L"root\\cimv2";
    std::optional<bool> FStreamedActive;
};

// Directory-services facts about this computer and its user, read when asked.
class TAdsSystemInfo {
public:
    std::wstring UserName() const;
    std::wstring ComputerName() const;
    std::wstring DomainName() const;
    // Not known without a directory service: empty.
    std::wstring PDC() const { return {}; }
    std::wstring WmiLibVersion() const { return {}; }
};

// An event source polled by a component's timer, and what handles its events.
struct TWmiPollSubscription {
    Microsoft::WRL::ComPtr<IDispatch> EventSource;
    std::function<void(IDispatch* event)> OnEvent;
};

class TWmiComponent : public TWmiAbstract {
public:
    explicit TWmiComponent(TComponent* owner);
    ~TWmiComponent() override;

    void SetActive(bool active) override;
    // In tenths of a second; the timer ticks at half that period.
    int PoolingInterval() const;
    void SetPoolingInterval(int interval);
    const TAdsSystemInfo& AdsSystemInfo() const { return FAdsInfo; }
    const std::vector<TWmiPollSubscription>& PollList() const { return FPollList; }
    // The timer runs only while the component is active and something is polled.
    void AddPollSubscription(TWmiPollSubscription subscription);
    TTimer* PollTimer() const { return FTimer; }

    // What each timer tick does: OnPoll, then one short wait on each subscription's source.
    void Poll();
    // Assigned before activation, it keeps the timer running like a subscription.
    TNotifyEvent OnPoll;

protected:
    virtual void RestartPolling() {}

private:
    void ArmPolling();

    TAdsSystemInfo FAdsInfo;
    std::vector<TWmiPollSubscription> FPollList;
    TTimer* FTimer;
};
