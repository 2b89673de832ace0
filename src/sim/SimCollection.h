#pragma once
// Object sets as WMI's scripting objects have them: Count, Item(name) and _NewEnum, whose
// enumerator is an IEnumVARIANT over the set's objects.
#include <atomic>
#include <string>
#include <vector>

#include "sim/SimDispatch.h"

// An IEnumVARIANT over objects, as an object set's _NewEnum answers. A deferred error (a query
// that ran with wbemFlagReturnImmediately and failed) is answered by the first Next instead.
class TSimEnumerator : public TComObject<IEnumVARIANT> {
public:
    TSimEnumerator(std::vector<ComPtr<IDispatch>> items, HRESULT deferredError = S_OK);
    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumVARIANT** copy) override;

private:
    std::vector<ComPtr<IDispatch>> FItems;
    size_t FPosition = 0;
    HRESULT FDeferredError;
};

// A new TSimEnumerator as the VT_UNKNOWN that _NewEnum answers.
ScopedVariant SimEnumeration(std::vector<ComPtr<IDispatch>> items, HRESULT deferredError = S_OK);

// A set of named objects. A deferred error (a query that failed) is raised by Count and Item
// and answered by the enumerator's first Next.
class TSimCollection : public TSimDispatch {
public:
    struct TEntry {
        std::wstring Name;
        ComPtr<IDispatch> Object;
    };
    TSimCollection(std::vector<TEntry> entries, const IID& iid = IID_NULL,
                   HRESULT deferredError = S_OK);

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override;

private:
    std::vector<TEntry> FEntries;
    HRESULT FDeferredError;
};
