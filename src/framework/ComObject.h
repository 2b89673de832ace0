#pragma once
// The IUnknown of the COM objects the program implements itself: a count safe on any thread
// that deletes the object at zero, and QueryInterface over the interfaces the class lists.
// A new object has a count of zero: the first ComPtr made from it holds it.
#include <windows.h>
#include <unknwn.h>

#include <atomic>

template <typename First, typename... Rest> class TComObject : public First, public Rest... {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = iid == IID_IUnknown ? static_cast<IUnknown*>(static_cast<First*>(this))
                                      : Interface(iid);
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++FRefs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG refs = --FRefs;
        if (refs == 0) delete this;
        return refs;
    }

protected:
    TComObject() = default;
    virtual ~TComObject() = default;
    TComObject(const TComObject&) = delete;
    TComObject& operator=(const TComObject&) = delete;

    // The object as the interface of that id, or null: the listed ones; a class answers more,
    // or fewer, by overriding.
    virtual void* Interface(REFIID iid) { return Listed<First, Rest...>(iid); }

private:
    template <typename I, typename... More> void* Listed(REFIID iid) {
        if (iid == __uuidof(I)) return static_cast<I*>(this);
        if constexpr (sizeof...(More) > 0) return Listed<More...>(iid);
        return nullptr;
    }

    std::atomic<ULONG> FRefs = 0;
};
