#pragma once
// Owners of the automation types: COM apartment, BSTR, VARIANT and SAFEARRAY. Move-only;
// Release() hands ownership to the caller, Receive() lends the slot to an API that fills it.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Initialises COM on this thread as a single-threaded apartment for the life of the object.
class ScopedComInitializer {
public:
    ScopedComInitializer();
    ~ScopedComInitializer();
    ScopedComInitializer(const ScopedComInitializer&) = delete;
    ScopedComInitializer& operator=(const ScopedComInitializer&) = delete;
    bool Succeeded() const { return SUCCEEDED(FResult); }

private:
    HRESULT FResult;
};

class ScopedBstr {
public:
    ScopedBstr() = default;
    explicit ScopedBstr(std::wstring_view text);
    ~ScopedBstr() { Reset(); }
    ScopedBstr(ScopedBstr&& other) noexcept : FBstr(other.Release()) {}
    ScopedBstr& operator=(ScopedBstr&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;

    BSTR Get() const { return FBstr; }
    BSTR Release() { return std::exchange(FBstr, nullptr); }
    void Reset(BSTR b = nullptr);
    BSTR* Receive() {
        Reset();
        return &FBstr;
    }
    std::wstring Text() const {
        return FBstr ? std::wstring(FBstr, SysStringLen(FBstr)) : std::wstring();
    }

private:
    BSTR FBstr = nullptr;
};

class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&FVar); }
    explicit ScopedVariant(std::wstring_view text);
    // Without it a string literal would pick the bool constructor.
    explicit ScopedVariant(const wchar_t* text) : ScopedVariant(std::wstring_view(text)) {}
    explicit ScopedVariant(int value);
    explicit ScopedVariant(bool value);
    ~ScopedVariant() { VariantClear(&FVar); }
    ScopedVariant(ScopedVariant&& other) noexcept;
    ScopedVariant& operator=(ScopedVariant&& other) noexcept;
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;

    // An argument marked as not supplied, as automation expects for an omitted optional one.
    static ScopedVariant NotSupplied();
    // Takes a copy of any variant (VariantCopy semantics).
    static ScopedVariant Copy(const VARIANT& v);

    const VARIANT& Get() const { return FVar; }
    VARIANT* Ptr() { return &FVar; }
    VARTYPE Type() const { return FVar.vt; }
    VARIANT Release();
    void Reset();
    VARIANT* Receive() {
        Reset();
        return &FVar;
    }
    // Takes ownership of a SAFEARRAY of the given element type.
    void SetArray(SAFEARRAY* array, VARTYPE elementType);

private:
    VARIANT FVar;
};

class ScopedSafeArray {
public:
    ScopedSafeArray() = default;
    explicit ScopedSafeArray(SAFEARRAY* array) : FArray(array) {}
    ~ScopedSafeArray() { Reset(); }
    ScopedSafeArray(ScopedSafeArray&& other) noexcept : FArray(other.Release()) {}
    ScopedSafeArray& operator=(ScopedSafeArray&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ScopedSafeArray(const ScopedSafeArray&) = delete;
    ScopedSafeArray& operator=(const ScopedSafeArray&) = delete;

    // A one-dimensional array of strings whose first index is lowerBound.
    static ScopedSafeArray OfStrings(const std::vector<std::wstring>& items, LONG lowerBound);

    SAFEARRAY* Get() const { return FArray; }
    SAFEARRAY* Release() { return std::exchange(FArray, nullptr); }
    void Reset(SAFEARRAY* array = nullptr);

private:
    SAFEARRAY* FArray = nullptr;
};

// The elements of a one-dimensional string array, in index order.
std::vector<std::wstring> SafeArrayStrings(SAFEARRAY* array);
