#pragma once
// Owners of the automation types: COM apartment, BSTR, VARIANT and SAFEARRAY. Move-only;
// Release() hands ownership to the caller, Receive() lends the slot to an API that fills it.
// Also the one conversion of variants between types that every layer shares.
#include <windows.h>
#include <oleauto.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What every apartment a ScopedComInitializer opens gets first, as a registered in-process
// server is reachable from each apartment; it answers what undoes it before the apartment
// closes. One for the process; empty: none.
using TApartmentSetup = std::function<std::function<void()>()>;
void SetApartmentSetup(TApartmentSetup setup);

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
    std::function<void()> FUndoSetup;
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
    // Typed setters: the old value is cleared first.
    void SetDispatch(IDispatch* object); // takes a reference of its own; nullptr leaves it empty
    void SetUnknown(IUnknown* object);   // the same for an object that is not a dispatch one
    void SetNull();
    void SetDouble(double value);
    void SetDate(DATE value);
    void SetInt64(LONGLONG value);
    void SetByte(BYTE value);
    void SetUInt32(ULONG value);
    // Takes ownership of a SAFEARRAY of the given element type.
    void SetArray(SAFEARRAY* array, VARTYPE elementType);
    // A copy of element index of a one-dimensional array whose elements are of that type.
    HRESULT SetArrayElement(SAFEARRAY* array, LONG index, VARTYPE elementType);

private:
    // Clears the old value and gives the union to fill for the new type.
    VARIANT& Assign(VARTYPE type);

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

// The data of an array, locked for the life of the scope, so that an error while its elements
// are read cannot leave it locked (a locked array cannot be destroyed, and leaks).
class ScopedSafeArrayAccess {
public:
    explicit ScopedSafeArrayAccess(SAFEARRAY* array)
        : FArray(array), FResult(SafeArrayAccessData(array, &FData)) {}
    ~ScopedSafeArrayAccess() {
        if (SUCCEEDED(FResult)) SafeArrayUnaccessData(FArray);
    }
    ScopedSafeArrayAccess(const ScopedSafeArrayAccess&) = delete;
    ScopedSafeArrayAccess& operator=(const ScopedSafeArrayAccess&) = delete;

    // The lock's result; the elements are there only when it succeeded.
    HRESULT Result() const { return FResult; }
    const BYTE* Element(ULONG i) const {
        return static_cast<const BYTE*>(FData) + i * FArray->cbElements;
    }

private:
    SAFEARRAY* FArray;
    void* FData = nullptr;
    HRESULT FResult;
};

// The elements of a one-dimensional string array, in index order.
std::vector<std::wstring> SafeArrayStrings(SAFEARRAY* array);
// The array a variant holds, directly or by reference.
SAFEARRAY* ArrayOf(const VARIANT& value);

// A variant without a value: empty or null.
bool VariantIsNull(const VARIANT& v);
// The value as another type, by one rule for every caller: empty and null convert to nothing
// (S_FALSE, result empty), so each caller says what a missing value means; Booleans become
// "True" / "False" as text; a value that does not convert answers the failure code.
HRESULT ConvertVariant(const VARIANT& value, VARTYPE type, ScopedVariant& result);
// The ordinary text of a value: null gives "", Booleans "True" / "False", and so does a value
// that has no text.
std::wstring VariantToText(const VARIANT& value);
// The value as a 32-bit number or a flag, by ConvertVariant's rule: empty and null read as 0
// and false (S_FALSE); a value that holds none reads so too and answers the failure, for the
// caller to raise in its own terms.
HRESULT VariantToInt(const VARIANT& value, int& number);
HRESULT VariantToBool(const VARIANT& value, bool& flag);
