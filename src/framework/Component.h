#pragma once
// Ownership and the loading bracket of the program's components.
//
// An owner destroys its components in the reverse order of their creation. Between
// BeginLoading() and EndLoading() property setters only remember their values; EndLoading()
// calls Loaded() on the owner and every component, where remembered values take effect.
// A component that refers to another asks it for a free notification and is told, through
// Notification(), when that one goes away.
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TComponent;
// An event that tells only who raised it.
using TNotifyEvent = std::function<void(TComponent* sender)>;

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    // Creates a component owned by this one.
    template <typename T, typename... Args> T* Own(Args&&... args) {
        auto component = std::make_unique<T>(this, std::forward<Args>(args)...);
        T* raw = component.get();
        Adopt(std::move(component));
        return raw;
    }
    void Adopt(std::unique_ptr<TComponent> component);
    // Destroys an owned component now.
    void Destroy(TComponent* component);
    // Destroys every owned component, the last created first.
    void DestroyComponents();

    TComponent* Owner() const { return FOwner; }
    const std::wstring& Name() const { return FName; }
    void SetName(std::wstring name) { FName = std::move(name); }
    size_t ComponentCount() const { return FComponents.size(); }
    TComponent* Component(size_t i) const { return FComponents[i].get(); }

    bool Loading() const { return FLoading; }
    void BeginLoading();
    void EndLoading();

    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

protected:
    virtual void Loaded() {}
    // other is being destroyed; forget every reference to it.
    virtual void Notification(TComponent* /*other*/) {}

private:
    void Detach(TComponent* other);

    TComponent* FOwner;
    std::wstring FName;
    std::vector<std::unique_ptr<TComponent>> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    bool FLoading = false;
};
