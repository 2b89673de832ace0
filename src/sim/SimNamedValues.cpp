#include "sim/SimNamedValues.h"

#include "wbem/WbemScripting.h"
#include "sim/SimCollection.h"

namespace {
class TSimNamedValueObject : public TSimDispatch {
public:
    TSimNamedValueObject(std::wstring name, std::shared_ptr<ScopedVariant> value)
        : TSimDispatch({L"Name", L"Value"}, IID_NULL), FName(std::move(name)),
          FValue(std::move(value)) {}

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        if (member == 1 && !IsGet(flags)) {
            *FValue = args.Value(args.Count() - 1);
            return {};
        }
        ReadOnly(flags);
        return member == 0 ? ScopedVariant(FName) : ScopedVariant::Copy(FValue->Get());
    }

private:
    std::wstring FName;
    std::shared_ptr<ScopedVariant> FValue;
};

class TSimNamedValueSet : public TSimDispatch {
public:
    struct TEntry {
        std::wstring Name;
        std::shared_ptr<ScopedVariant> Value;
        long Flags = 0;
    };
    TSimNamedValueSet()
        : TSimDispatch({L"Add", L"Item", L"Remove", L"DeleteAll", L"Count", L"_NewEnum"},
                       kIidSWbemNamedValueSet) {}

    const std::vector<TEntry>& Entries() const { return FEntries; }

protected:
    ScopedVariant Call(size_t member, WORD flags, const TSimArgs& args) override {
        ReadOnly(flags);
        switch (member) {
        case 0: { // Add(name, value, flags): an existing name takes the new value
            const std::wstring name = args.Text(0);
            if (name.empty()) throw SimError(WBEM_E_INVALID_PARAMETER);
            TEntry* entry = Find(name);
            if (!entry)
                entry = &FEntries.emplace_back(TEntry{name, std::make_shared<ScopedVariant>()});
            *entry->Value = args.Value(1);
            entry->Flags = args.Long(2);
            return AsVariant(MakeSim<TSimNamedValueObject>(entry->Name, entry->Value).Get());
        }
        case 1: {
            TEntry* entry = Find(args.Text(0));
            if (!entry) throw SimError(WBEM_E_NOT_FOUND);
            return AsVariant(MakeSim<TSimNamedValueObject>(entry->Name, entry->Value).Get());
        }
        case 2: {
            TEntry* entry = Find(args.Text(0));
            if (!entry) throw SimError(WBEM_E_NOT_FOUND);
            FEntries.erase(FEntries.begin() + (entry - FEntries.data()));
            return {};
        }
        case 3:
            FEntries.clear();
            return {};
        case 4:
            return Long(static_cast<long>(FEntries.size()));
        default: {
            std::vector<ComPtr<IDispatch>> items;
            for (const TEntry& e : FEntries)
                items.push_back(MakeSim<TSimNamedValueObject>(e.Name, e.Value));
            return SimEnumeration(std::move(items));
        }
        }
    }

private:
    TEntry* Find(const std::wstring& name) {
        for (TEntry& e : FEntries)
            if (SameText(e.Name, name)) return &e;
        return nullptr;
    }
    std::vector<TEntry> FEntries;
};
} // namespace

ComPtr<TSimDispatch> MakeSimNamedValueSet() {
    return MakeSim<TSimNamedValueSet>();
}

std::vector<TSimNamedValue> SimContextValues(IDispatch* context) {
    std::vector<TSimNamedValue> values;
    auto* set = dynamic_cast<TSimNamedValueSet*>(TSimDispatch::Implementation(context));
    if (!set) return values;
    for (const TSimNamedValueSet::TEntry& e : set->Entries())
        values.push_back({e.Name, e.Value->Type(), VariantToText(e.Value->Get()), e.Flags});
    return values;
}
