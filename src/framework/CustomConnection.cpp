#include "framework/CustomConnection.h"

#include <utility>

void TCustomConnection::SetConnected(bool connected) {
    if (Loading()) {
        FStreamedConnected = connected;
        return;
    }
    if (connected == GetConnected()) return;
    if (connected) {
        Fire(BeforeConnect);
        DoConnect();
        Fire(AfterConnect);
    } else {
        Fire(BeforeDisconnect);
        DoDisconnect();
        Fire(AfterDisconnect);
    }
}

void TCustomConnection::Loaded() {
    TComponent::Loaded();
    if (FStreamedConnected) SetConnected(*std::exchange(FStreamedConnected, std::nullopt));
}
