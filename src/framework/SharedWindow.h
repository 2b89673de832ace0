#pragma once
// A hidden window shared by every object of one kind in the process (timers, tray icons): made
// when the first object joins and destroyed when the last one leaves. The window procedure finds
// its objects by id in the registry, never from a pointer carried by a message, since any process
// may post any parameters, and a message queued for an object that has gone must reach nobody.
//
// Derived makes the window in its constructor and passes it here; it befriends this class, which
// creates and deletes the one instance.
#include <windows.h>

#include <map>
#include <utility>

template <typename Derived, typename Id, typename Member> class TSharedWindow {
public:
    TSharedWindow(const TSharedWindow&) = delete;
    TSharedWindow& operator=(const TSharedWindow&) = delete;

    // The instance while any object is registered, else null.
    static Derived* Instance() { return FInstance; }
    HWND Window() const { return FWindow; }
    unsigned RefCount() const { return static_cast<unsigned>(FMembers.size()); }

protected:
    explicit TSharedWindow(HWND window) : FWindow(window) {}
    ~TSharedWindow() { DestroyWindow(FWindow); }

    // Registers member under id, making the instance and its window for the first one.
    static Derived& Join(Id id, Member* member) {
        if (!FInstance) FInstance = new Derived;
        FInstance->FMembers[id] = member;
        return *FInstance;
    }
    // Forgets id; the last one takes the instance and its window along.
    static void Leave(Id id) {
        if (!FInstance) return;
        FInstance->FMembers.erase(id);
        if (FInstance->FMembers.empty()) delete std::exchange(FInstance, nullptr);
    }
    // The instance whose window this is, for its window procedure; null for any other window.
    static Derived* Of(HWND window) {
        return FInstance && FInstance->FWindow == window ? FInstance : nullptr;
    }
    // The live object registered under id, or null.
    static Member* Find(HWND window, Id id) {
        const Derived* self = Of(window);
        if (!self) return nullptr;
        const auto it = self->FMembers.find(id);
        return it == self->FMembers.end() ? nullptr : it->second;
    }
    const std::map<Id, Member*>& Members() const { return FMembers; }

private:
    static inline Derived* FInstance = nullptr;
    HWND FWindow;
    std::map<Id, Member*> FMembers;
};
