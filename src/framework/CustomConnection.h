#pragma once
// The base of a connection to a data service: Connected with its before/after events.
// A value written while loading takes effect when loading ends.
#include <functional>
#include <optional>
#include <string>

#include "framework/Component.h"

class TCustomConnection;
using TLoginEvent = std::function<void(TCustomConnection* sender, const std::wstring& userName,
                                       const std::wstring& password)>;

class TCustomConnection : public TComponent {
public:
    explicit TCustomConnection(TComponent* owner) : TComponent(owner) {}

    bool Connected() { return GetConnected(); }
    void SetConnected(bool connected);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }
    bool LoginPrompt() const { return FLoginPrompt; }
    void SetLoginPrompt(bool prompt) { FLoginPrompt = prompt; }

    TNotifyEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
    TLoginEvent OnLogin;

protected:
    virtual bool GetConnected() = 0;
    virtual void DoConnect() = 0;
    virtual void DoDisconnect() = 0;
    void Loaded() override;

private:
    void Fire(const TNotifyEvent& event) {
        if (event) event(this);
    }

    bool FLoginPrompt = false;
    std::optional<bool> FStreamedConnected;
};
