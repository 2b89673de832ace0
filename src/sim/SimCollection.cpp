#include "sim/SimCollection.h"

#include <algorithm>
#include <new>

ScopedVariant SimEnumeration(std::vector<ComPtr<IDispatch>> items, HRESULT deferredError) {
    ScopedVariant v;
    v.SetUnknown(new TSimEnumerator(std::move(items), deferredError));
    return v;
}

// ---- TSimEnumerator

TSimEnumerator::TSimEnumerator(std::vector<ComPtr<IDispatch>> items, HRESULT deferredError)
    : FItems(std::move(items)), FDeferredError(deferredError) {}

STDMETHODIMP TSimEnumerator::Next(ULONG count, VARIANT* items, ULONG* fetched) {
    if (fetched) *fetched = 0;
    if (!items || (count > 1 && !fetched)) return E_POINTER;
    if (FAILED(FDeferredError)) return FDeferredError;
    ULONG n = 0;
    for (; n < count && FPosition < FItems.size(); ++n, ++FPosition) {
        ScopedVariant item;
        item.SetDispatch(FItems[FPosition].Get());
        items[n] = item.Release(); // the caller owns it
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

STDMETHODIMP TSimEnumerator::Skip(ULONG count) {
    if (FAILED(FDeferredError)) return FDeferredError;
    const size_t left = FItems.size() - FPosition;
    FPosition += std::min<size_t>(left, count);
    return count <= left ? S_OK : S_FALSE;
}

STDMETHODIMP TSimEnumerator::Reset() {
    FPosition = 0;
    return S_OK;
}

STDMETHODIMP TSimEnumerator::Clone(IEnumVARIANT** copy) {
    if (!copy) return E_POINTER;
    *copy = nullptr;
    // Copying the items allocates, and nothing may throw out of a COM method.
    try {
        ComPtr<TSimEnumerator> clone(new TSimEnumerator(FItems, FDeferredError));
        clone->FPosition = FPosition;
        *copy = clone.Detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// ---- TSimCollection

namespace {
enum { mCount, mItem, mNewEnum };
}

TSimCollection::TSimCollection(std::vector<TEntry> entries, const IID& iid, HRESULT deferredError)
    : TSimDispatch({L"Count", L"Item", L"_NewEnum"}, iid), FEntries(std::move(entries)),
      FDeferredError(deferredError) {}

ScopedVariant TSimCollection::Call(size_t member, WORD flags, const TSimArgs& args) {
    ReadOnly(flags);
    if (FAILED(FDeferredError) && member != mNewEnum) throw TSimError{FDeferredError};
    switch (member) {
    case mCount:
        return Long(static_cast<long>(FEntries.size()));
    case mItem: {
        const std::wstring name = args.Text(0);
        for (const TEntry& e : FEntries)
            if (SameText(e.Name, name)) return AsVariant(e.Object.Get());
        throw SimError(WBEM_E_NOT_FOUND);
    }
    default: {
        std::vector<ComPtr<IDispatch>> items;
        for (const TEntry& e : FEntries)
            items.push_back(e.Object);
        return SimEnumeration(std::move(items), FDeferredError);
    }
    }
}
