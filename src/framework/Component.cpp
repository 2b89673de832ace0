#include "framework/Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* owner) : FOwner(owner) {
    if (owner) FLoading = owner->FLoading;
}

TComponent::~TComponent() {
    DestroyComponents();
    std::vector<TComponent*> others;
    others.swap(FFreeNotifies);
    for (TComponent* other : others) {
        other->Detach(this);
        other->Notification(this);
    }
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        // Pop first, so a component that looks at its siblings while going away sees the
        // ones created before it only.
        std::unique_ptr<TComponent> last = std::move(FComponents.back());
        FComponents.pop_back();
        last.reset();
    }
}

void TComponent::Adopt(std::unique_ptr<TComponent> component) {
    component->FOwner = this;
    FComponents.push_back(std::move(component));
}

void TComponent::Destroy(TComponent* component) {
    auto it = std::find_if(FComponents.begin(), FComponents.end(),
                           [component](const auto& c) { return c.get() == component; });
    if (it == FComponents.end()) return;
    std::unique_ptr<TComponent> doomed = std::move(*it);
    FComponents.erase(it);
}

void TComponent::BeginLoading() {
    FLoading = true;
    for (auto& c : FComponents)
        c->BeginLoading();
}

void TComponent::EndLoading() {
    // Clear every flag first: a Loaded() that connects may look at its siblings.
    FLoading = false;
    for (auto& c : FComponents)
        c->FLoading = false;
    Loaded();
    for (size_t i = 0; i < FComponents.size(); ++i)
        FComponents[i]->EndLoading();
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end()) {
        FFreeNotifies.push_back(other);
        other->FFreeNotifies.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    Detach(other);
    if (other) other->Detach(this);
}

void TComponent::Detach(TComponent* other) {
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), other),
                        FFreeNotifies.end());
}
