#pragma once
// Property groups that report every change of their values to whoever owns them.
#include <functional>
#include <utility>

class TComponent;

class TNotifyClass {
public:
    using TChangeEvent = std::function<void(TNotifyClass& sender)>;

    explicit TNotifyClass(TChangeEvent onChange = {}, TComponent* owner = nullptr)
        : OnChange(std::move(onChange)), FOwner(owner) {}
    virtual ~TNotifyClass() = default;
    // Groups are referred to by their owners' callbacks; they are copied with Assign only.
    TNotifyClass(const TNotifyClass&) = delete;
    TNotifyClass& operator=(const TNotifyClass&) = delete;

    TComponent* Owner() const { return FOwner; }
    // Takes the values of a group of the same kind; raises std::invalid_argument otherwise.
    virtual void Assign(const TNotifyClass& source);

    TChangeEvent OnChange;

protected:
    virtual void Changed();

    // Stores a changed value and notifies; an unchanged value does nothing.
    template <typename T> void Update(T& field, T value) {
        if (field == value) return;
        field = value;
        Changed();
    }

private:
    TComponent* FOwner;
};

// A group that is switched on and off: while it is off, only switching it on is worth a repaint.
class TEnabledClass : public TNotifyClass {
public:
    using TNotifyClass::TNotifyClass;
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    void Assign(const TNotifyClass& source) override;

protected:
    void Changed() override;

private:
    bool FEnabled = false;
};
