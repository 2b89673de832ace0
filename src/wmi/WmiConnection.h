#pragma once
// A connection to a WMI namespace that query datasets run on. It can also stand on one object,
// named by ObjectPath, for a method component.
#include "framework/CustomConnection.h"
#include "wmi/WmiComponent.h"
#include "wmi/WmiObjectSource.h"

class TWmiConnection : public TCustomConnection, public IWmiObjectSource {
public:
    explicit TWmiConnection(TComponent* owner);

    TWmiCredentials& Credentials() { return FWmi->Credentials(); }
    void SetCredentials(const TWmiCredentials& credentials);
    const std::wstring& MachineName() const { return FWmi->MachineName(); }
    void SetMachineName(const std::wstring& name);
    const std::wstring& NameSpace() const { return FWmi->NameSpace(); }
    void SetNameSpace(const std::wstring& nameSpace);
    const std::wstring& ObjectPath() const { return FObjectPath; }
    void SetObjectPath(const std::wstring& path);

    Microsoft::WRL::ComPtr<IDispatch> GetWmiObject() override;
    Microsoft::WRL::ComPtr<IDispatch> GetWmiServices() override { return FWmi->Services(); }
    TComponent* GetComponent() override { return this; }

protected:
    bool GetConnected() override { return FWmi->Active(); }
    void DoConnect() override { FWmi->SetActive(true); }
    void DoDisconnect() override;

private:
    // After a change of the inner settings, which leaves it disconnected.
    void FollowInner();

    TWmiComponent* FWmi;
    std::wstring FObjectPath;
    Microsoft::WRL::ComPtr<IDispatch> FObject;
};
