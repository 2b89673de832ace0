#pragma once
// The automation plumbing of the simulated objects: IDispatch by name (names ignore case, as
// WMI's scripting objects have them), arguments in natural order, errors reported as
// automation exceptions carrying the WMI result code.
#include <windows.h>
#include <oaidl.h>
#include <wbemcli.h>
#include <wrl/client.h>

#include <atomic>
#include <string>
#include <vector>

#include "framework/ComObject.h"
#include "framework/ComTypes.h"
#include "framework/Strings.h"

using Microsoft::WRL::ComPtr;

// An error a simulated object raises; the caller sees DISP_E_EXCEPTION carrying Code.
struct TSimError {
    HRESULT Code;
};
inline TSimError SimError(long code) {
    return TSimError{static_cast<HRESULT>(code)};
}

// The arguments of one call in natural order, exactly as the caller passed them.
class TSimArgs {
public:
    explicit TSimArgs(const DISPPARAMS& params);
    size_t Count() const { return FItems.size(); }
    const VARIANT& Raw(size_t i) const { return *FItems[i]; }
    // Absent, VT_EMPTY or marked as not supplied (after following a reference).
    bool Missing(size_t i) const;
    // The value of argument i with references followed (VT_EMPTY when missing).
    ScopedVariant Value(size_t i) const;
    std::wstring Text(size_t i, const std::wstring& fallback = {}) const;
    long Long(size_t i, long fallback = 0) const;
    bool Bool(size_t i, bool fallback = false) const;
    // The object argument i refers to, or nullptr for none (raises for a non-object).
    ComPtr<IDispatch> Object(size_t i) const;

private:
    // The value of argument i as that type; raises WBEM_E_INVALID_PARAMETER when it is none.
    ScopedVariant Converted(size_t i, VARTYPE type) const;

    std::vector<VARIANT*> FItems;
};

// {6B1F4D3A-7C52-4E0B-9A3D-2F8E51C0D7A4}: answers the implementation behind an interface, so
// the provider can recognise its own objects when callers hand them back (a context, say).
constexpr GUID IID_TSimDispatch = {
    0x6b1f4d3a, 0x7c52, 0x4e0b, {0x9a, 0x3d, 0x2f, 0x8e, 0x51, 0xc0, 0xd7, 0xa4}};

class TSimDispatch : public TComObject<IDispatch> {
public:
    ~TSimDispatch() override;

    // IMarshal is the free-threaded marshaler's, when there is one.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* info, UINT* argError) override;

    // The object as the variant a property or method answers (VT_DISPATCH).
    static ScopedVariant AsVariant(IDispatch* object);
    // Lets other apartments call the object directly (the free-threaded marshaler); only for
    // objects whose state is safe to reach from any thread.
    void MakeFreeThreaded();
    // Answers only on the thread that calls this, as an apartment-threaded object does: other
    // threads must reach it through a marshalled proxy, or get RPC_E_WRONG_THREAD.
    void BindToApartment() { FHomeThread = GetCurrentThreadId(); }
    // The implementation behind an interface when it is one of ours.
    static TSimDispatch* Implementation(IUnknown* object);
    // How many simulated automation objects exist now, in every apartment: what callers still
    // hold shows up as a count that grows.
    static long LiveDispatchObjects();

protected:
    // members: the names, a member's id is its position; "_NewEnum" answers to DISPID_NEWENUM.
    // scriptingIid: the ISWbem* interface this object stands for; it is answered with the
    // IDispatch part only, since callers reach WMI late-bound.
    TSimDispatch(std::vector<std::wstring> members, const IID& scriptingIid);
    void AddMember(const std::wstring& name) { FMembers.push_back(name); }
    size_t MemberCount() const { return FMembers.size(); }
    const std::wstring& MemberName(size_t member) const { return FMembers[member]; }
    // Carries out member (a position in the names); raises TSimError.
    virtual ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) = 0;
    // The scripting interface's id and IID_TSimDispatch answer the object too.
    void* Interface(REFIID iid) override;

    static bool IsGet(WORD flags) { return flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD); }
    // Properties without a setter refuse a put as WMI's scripting objects do.
    static void ReadOnly(WORD flags) {
        if (!IsGet(flags)) throw TSimError{DISP_E_MEMBERNOTFOUND};
    }
    static ScopedVariant Long(long value) { return ScopedVariant(static_cast<int>(value)); }

private:
    // A member's id by its name, or DISPID_UNKNOWN.
    DISPID Position(const std::wstring& name) const;

    std::vector<std::wstring> FMembers;
    IID FScriptingIid;
    ComPtr<IUnknown> FMarshaler;
    DWORD FHomeThread = 0; // 0: any thread
};

// Makes an object of a TSimDispatch kind, owned by the returned pointer.
template <typename T, typename... A> ComPtr<T> MakeSim(A&&... args) {
    return ComPtr<T>(new T(std::forward<A>(args)...));
}

ScopedVariant SimNull();
// A one-dimensional VT_ARRAY|VT_VARIANT with lower bound 0, as WMI hands arrays to automation.
ScopedVariant SimVariantArray(std::vector<ScopedVariant> items);
ScopedVariant SimStringArray(const std::vector<std::wstring>& items);
// Element index of a one-dimensional array of any element type; VT_EMPTY when unreadable.
ScopedVariant SimArrayElement(SAFEARRAY* array, LONG index);
