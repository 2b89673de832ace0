#include "textfx/NotifyClass.h"

#include <stdexcept>

void TNotifyClass::Assign(const TNotifyClass&) {
    throw std::invalid_argument("Cannot assign a property group of another kind");
}

void TNotifyClass::Changed() {
    if (OnChange) OnChange(*this);
}

void TEnabledClass::SetEnabled(bool value) {
    if (value == FEnabled) return;
    FEnabled = value;
    TNotifyClass::Changed();
}

void TEnabledClass::Assign(const TNotifyClass& source) {
    auto* other = dynamic_cast<const TEnabledClass*>(&source);
    if (!other) return TNotifyClass::Assign(source);
    SetEnabled(other->FEnabled);
}

void TEnabledClass::Changed() {
    if (FEnabled) TNotifyClass::Changed();
}
