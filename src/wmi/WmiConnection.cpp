#include "wmi/WmiConnection.h"

#include "wbem/WbemScripting.h"
#include "wmi/WmiAutomation.h"

TWmiConnection::TWmiConnection(TComponent* owner)
    : TCustomConnection(owner), FWmi(Own<TWmiComponent>()) {
    // However the inner connection goes away, the object found on it goes with it.
    FWmi->OnAfterDeactivate = [this](TComponent*) { FObject.Reset(); };
}

void TWmiConnection::SetCredentials(const TWmiCredentials& credentials) {
    FWmi->Credentials().Assign(credentials);
    FollowInner();
}

void TWmiConnection::SetMachineName(const std::wstring& name) {
    FWmi->SetMachineName(name);
    FollowInner();
}

void TWmiConnection::SetNameSpace(const std::wstring& nameSpace) {
    if (nameSpace == FWmi->NameSpace()) return;
    FWmi->SetNameSpace(nameSpace);
}

void TWmiConnection::FollowInner() {
    // While loading, a Connected value read earlier must survive the later settings.
    if (!Loading()) SetConnected(FWmi->Active());
}

void TWmiConnection::SetObjectPath(const std::wstring& path) {
    FObjectPath = path;
    FObject.Reset();
}

void TWmiConnection::DoDisconnect() {
    FWmi->SetActive(false);
    FObject.Reset();
}

Microsoft::WRL::ComPtr<IDispatch> TWmiConnection::GetWmiObject() {
    if (Connected() && !FObject && !FObjectPath.empty()) {
        ScopedVariant path(FObjectPath);
        FObject =
            WmiObject(WmiCall(FWmi->Services(), L"Get",
                              {path.Get(), ScopedVariant(kWbemFlagUseAmendedQualifiers).Get()}));
    }
    return FObject;
}
