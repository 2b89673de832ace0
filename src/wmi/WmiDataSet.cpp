#include "wmi/WmiDataSet.h"

#include <algorithm>
#include <climits>
#include <map>

#include "framework/Strings.h"
#include "wbem/WbemScripting.h"
#include "wmi/CimValue.h"
#include "wmi/LocateKeys.h"
#include "wmi/WmiAutomation.h"

using Microsoft::WRL::ComPtr;

namespace {
// Element i of a one-dimensional array, counted from its first index.
ScopedVariant ArrayElement(const VARIANT& array, LONG i) {
    SAFEARRAY* items = ArrayOf(array);
    LONG low = 0;
    SafeArrayGetLBound(items, 1, &low);
    ScopedVariant element;
    WmiCheck(element.SetArrayElement(items, low + i, array.vt & VT_TYPEMASK));
    return element;
}

LONG ArrayLength(const VARIANT& array) {
    SAFEARRAY* items = ArrayOf(array);
    if (!items || SafeArrayGetDim(items) != 1) return 0;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(items, 1, &low);
    SafeArrayGetUBound(items, 1, &high);
    return high - low + 1;
}
} // namespace

std::wstring TWmiVariantField::AsString() const {
    ScopedVariant v = Value();
    return WmiValueText(v.Get());
}

// ---------------------------------------------------------------------------------------------

struct TWmiRow {
    ComPtr<IDispatch> Object;
    ComPtr<IDispatch> Properties; // fetched when first needed
    int Index = 0;
    std::map<std::wstring, ScopedVariant> Values;
};

// The rows read so far from the query's forward-only enumerator, so that the cursor can go
// back and jump. "Current" is the row the cache stands on, if any.
class TWmiRowCache {
public:
    explicit TWmiRowCache(ComPtr<IEnumVARIANT> enumerator) : FEnumerator(std::move(enumerator)) {
        FetchOne();
    }

    int Count() const { return static_cast<int>(FRows.size()); }
    TWmiRow& Row(int i) { return *FRows[static_cast<size_t>(i)]; }
    TWmiRow* Current() { return FIndex >= 0 && FIndex < Count() ? &Row(FIndex) : nullptr; }
    bool AtEnd() const { return FAtEnd; }
    bool AtStart() const { return FAtStart; }
    // Whether row i is there, reading as far as needed.
    bool Has(int i) {
        while (i >= Count() && FetchOne()) {
        }
        return i < Count();
    }
    void ReadAll() { Has(INT_MAX - 1); }

    void Next() {
        if (std::exchange(FHoldNext, false)) return;
        if (FIndex + 1 < Count() || FetchOne()) {
            FIndex = std::max(FIndex + 1, 0);
            FAtStart = false;
            return;
        }
        FIndex = Count();
        FAtEnd = true;
    }
    void Prior() {
        if (std::exchange(FHoldPrior, false)) return;
        if (FIndex <= 0) {
            FIndex = -1;
            FAtStart = true;
            return;
        }
        FIndex = std::min(FIndex, Count()) - 1;
        FAtEnd = false;
    }
    void GoTo(int n) {
        FHoldNext = FHoldPrior = false;
        if (Has(n)) {
            FIndex = n;
            FAtEnd = FExhausted && n == Count() - 1;
        } else {
            FIndex = Count() - 1;
            FAtEnd = true;
        }
        FAtStart = n == 0;
    }
    void First() {
        FHoldPrior = false;
        FIndex = Count() > 0 ? 0 : -1;
        FAtStart = FHoldNext = true;
        FAtEnd = false;
    }
    void Last() {
        ReadAll();
        FHoldNext = false;
        FHoldPrior = true;
        FIndex = Count() - 1;
        FAtEnd = FIndex < 0;
    }

private:
    bool FetchOne() {
        if (FExhausted) return false;
        ComPtr<IDispatch> object = WmiNextObject(FEnumerator.Get());
        if (!object) {
            FExhausted = true;
            return false;
        }
        auto row = std::make_unique<TWmiRow>();
        row->Object = object;
        row->Index = Count();
        FRows.push_back(std::move(row));
        return true;
    }

    ComPtr<IEnumVARIANT> FEnumerator;
    std::vector<std::unique_ptr<TWmiRow>> FRows;
    int FIndex = -1;
    bool FExhausted = false, FAtEnd = false, FAtStart = true, FHoldNext = false, FHoldPrior = false;
};

// ---------------------------------------------------------------------------------------------

TWmiDataSet::TWmiDataSet(TComponent* owner) : TDataSet(owner) {}

TWmiDataSet::~TWmiDataSet() {
    // No events while going away: their handlers' owners may be half destroyed.
    FRows.reset();
}

void TWmiDataSet::SetWQL(const std::vector<std::wstring>& lines) {
    if (LinesText(lines) == LinesText(FWQL)) return;
    if (!Loading()) Close();
    FWQL = lines;
}

void TWmiDataSet::SetConnection(TWmiConnection* connection) {
    if (connection == FConnection) return;
    if (FConnection) RemoveFreeNotification(FConnection);
    FConnection = connection;
    // Only to learn when it goes away; the connection keeps no list of its datasets.
    if (FConnection) FreeNotification(FConnection);
}

void TWmiDataSet::SetAsynchronous(bool asynchronous) {
    if (asynchronous == FAsynchronous) return;
    // Only an open dataset closes: while loading, Close would overwrite a stored Active.
    if (Active()) Close();
    FAsynchronous = asynchronous;
}

void TWmiDataSet::SetIrregularView(bool irregular) {
    if (irregular == FIrregularView) return;
    if (Active()) Close();
    FIrregularView = irregular;
    FRowFieldDefs.clear();
}

void TWmiDataSet::Notification(TComponent* other) {
    TDataSet::Notification(other);
    if (other != FConnection) return;
    Close();
    FConnection = nullptr;
}

void TWmiDataSet::InternalOpen() {
    const std::wstring text = LinesText(FWQL);
    if (Trim(text).empty()) throw EDatabaseError(L"WQL is not defined");
    if (!FConnection) throw EDatabaseError(L"Connection is not defined");
    FConnection->SetConnected(true);
    ScopedVariant query(text), language(L"WQL");
    ScopedVariant flags(FAsynchronous ? kWbemFlagReturnImmediately + kWbemFlagForwardOnly
                                      : kWbemFlagForwardOnly);
    ComPtr<IDispatch> objects = WmiObject(WmiCall(FConnection->GetWmiServices().Get(), L"ExecQuery",
                                                  {query.Get(), language.Get(), flags.Get()}));
    auto rows = std::make_unique<TWmiRowCache>(WmiEnumerator(objects.Get()));
    TFieldDefs& defs = MutableFieldDefs();
    if (rows->Count() > 0)
        BuildFieldDefs(defs, rows->Row(0).Object.Get(), FIrregularView);
    else
        defs.clear();
    FRows = std::move(rows);
    FActiveRow = -1;
}

void TWmiDataSet::InternalClose() {
    FRows.reset();
    FActiveRow = -1;
}

void TWmiDataSet::InternalFirst() {
    FRows->First();
}

void TWmiDataSet::InternalLast() {
    FRows->Last();
}

void TWmiDataSet::InternalSetToRecord() {
    if (FActiveRow >= 0) FRows->GoTo(FActiveRow);
}

TDataSet::TGetResult TWmiDataSet::GetRecord(TGetMode mode) {
    if (mode == gmNext) FRows->Next();
    if (mode == gmPrior) FRows->Prior();
    TWmiRow* row = FRows->Current();
    if (!row) return FRows->AtEnd() ? grEOF : FRows->AtStart() ? grBOF : grError;
    FActiveRow = row->Index;
    if (FIrregularView) BuildFieldDefs(FRowFieldDefs, row->Object.Get(), false);
    return grOK;
}

void TWmiDataSet::InternalSetRecNo(int recNo) {
    FRows->GoTo(std::max(recNo - 1, 0));
    GetRecord(gmCurrent);
}

std::unique_ptr<TField> TWmiDataSet::CreateField(const TFieldDef& def) {
    std::unique_ptr<TField> field = def.DataType == ftVariant
                                        ? std::make_unique<TWmiVariantField>(this, def)
                                        : TDataSet::CreateField(def);
    field->SetDisplayWidth(1);
    return field;
}

void TWmiDataSet::BuildFieldDefs(TFieldDefs& defs, IDispatch* object, bool irregular) {
    defs.clear();
    if (!object) return;
    if (irregular) {
        auto def = std::make_unique<TWmiFieldDef>();
        def->Name = L"Object";
        def->DataType = ftVariant;
        def->FieldNo = 1;
        defs.push_back(std::move(def));
        return;
    }
    ComPtr<IDispatch> properties = WmiObject(WmiGet(object, L"Properties_"));
    WmiForEach(properties.Get(), [&](IDispatch* property) {
        auto def = std::make_unique<TWmiFieldDef>();
        def->Name = WmiText(WmiGet(property, L"Name"));
        def->IsArray = WmiBool(WmiGet(property, L"IsArray"));
        def->DataType =
            FieldTypeOfCimType(WmiInt(WmiGet(property, L"CIMType")), def->IsArray, def->Size);
        def->FieldNo = static_cast<int>(defs.size()) + 1;
        ComPtr<IDispatch> qualifiers = WmiObject(WmiGet(property, L"Qualifiers_"));
        if (qualifiers) {
            WmiForEach(qualifiers.Get(), [&](IDispatch* qualifier) {
                const std::wstring name = UpperCase(WmiText(WmiGet(qualifier, L"Name")));
                if (name != L"KEY" && name != L"READONLY") return;
                if (!WmiBool(WmiGet(qualifier, L"Value"))) return;
                (name == L"KEY" ? def->Required : def->ReadOnly) = true;
            });
        }
        defs.push_back(std::move(def));
    });
}

void TWmiDataSet::UpdateFieldDefs() {
    if (Active()) {
        TWmiRow* row = ActiveRow();
        BuildFieldDefs(MutableFieldDefs(), row ? row->Object.Get() : nullptr, FIrregularView);
        return;
    }
    const std::wstring text = LinesText(FWQL);
    if (Trim(text).empty()) return;
    // Its own connection to the local root\cimv2, whatever the dataset's connection points at.
    TWmiAbstract local(nullptr);
    local.SetActive(true);
    ComPtr<IDispatch> services = local.Services();
    ScopedVariant query(text), language(L"WQL");
    ScopedVariant flags(kWbemFlagReturnImmediately + kWbemFlagForwardOnly +
                        kWbemQueryFlagPrototype);
    ComPtr<IDispatch> objects = WmiObject(
        WmiCall(services.Get(), L"ExecQuery", {query.Get(), language.Get(), flags.Get()}));
    ComPtr<IEnumVARIANT> items = WmiEnumerator(objects.Get());
    ComPtr<IDispatch> prototype = WmiNextObject(items.Get());
    BuildFieldDefs(MutableFieldDefs(), prototype.Get(), FIrregularView);
}

TWmiRow* TWmiDataSet::ActiveRow() const {
    return FRows && FActiveRow >= 0 && FActiveRow < FRows->Count() ? &FRows->Row(FActiveRow)
                                                                   : nullptr;
}

int TWmiDataSet::RecNo() const {
    return ActiveRow() ? FActiveRow + 1 : 0;
}

int TWmiDataSet::RecordCount() {
    if (!Active()) return 0;
    FRows->ReadAll();
    return FRows->Count();
}

ScopedVariant TWmiDataSet::PropertyValue(TWmiRow& row, const std::wstring& name) {
    auto cached = row.Values.find(name);
    if (cached == row.Values.end()) {
        if (!row.Properties) row.Properties = WmiObject(WmiGet(row.Object.Get(), L"Properties_"));
        ScopedVariant key(name);
        ComPtr<IDispatch> property =
            WmiObject(WmiCall(row.Properties.Get(), L"Item", {key.Get(), ScopedVariant(0).Get()}));
        cached = row.Values.emplace(name, WmiGet(property.Get(), L"Value")).first;
    }
    return ScopedVariant::Copy(cached->second.Get());
}

ScopedVariant TWmiDataSet::FieldValue(TWmiRow& row, const std::wstring& name, TFieldType type) {
    return CimValueAsField(PropertyValue(row, name).Get(), type, name);
}

ScopedVariant TWmiDataSet::GetFieldData(const TField& field) {
    TWmiRow* row = ActiveRow();
    if (!row) return ScopedVariant();
    if (FIrregularView) {
        ScopedVariant object;
        object.SetDispatch(row->Object.Get());
        return object;
    }
    return FieldValue(*row, field.FieldName(), field.DataType());
}

std::wstring TWmiDataSet::KeyText(TWmiRow& row, const std::wstring& name) {
    if (FIrregularView) BuildFieldDefs(FRowFieldDefs, row.Object.Get(), false);
    const TFieldDef& def = FieldDefByName(FIrregularView ? FRowFieldDefs : FieldDefs(), name);
    // Irregular rows compare the property as WMI gives it, not as a typed field.
    if (FIrregularView) return WmiValueText(PropertyValue(row, name).Get());
    return WmiValueText(FieldValue(row, def.Name, def.DataType).Get());
}

bool TWmiDataSet::Locate(const std::wstring& keyFields, const VARIANT& keyValues,
                         TLocateOptions options) {
    CheckActive();
    const std::vector<std::wstring> names = LocateKeyNames(keyFields);
    const bool valuesAreArray = (keyValues.vt & VT_ARRAY) != 0;
    if (!LocateValuesFit(names.size(), valuesAreArray, valuesAreArray ? ArrayLength(keyValues) : 0))
        throw EDatabaseError(L"Incorrectly formed filter expression");
    std::vector<std::wstring> keys;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::wstring text =
            i > 0 || valuesAreArray
                ? WmiValueText(ArrayElement(keyValues, static_cast<LONG>(i)).Get())
                : WmiValueText(keyValues);
        keys.push_back(options & loCaseInsensitive ? UpperCase(text) : text);
    }
    // The rows are compared where they lie in the cache; the cursor moves only to a match.
    for (int i = 0; FRows->Has(i); ++i) {
        TWmiRow& row = FRows->Row(i);
        bool match = true;
        for (size_t k = 0; k < names.size() && match; ++k) {
            std::wstring text = KeyText(row, names[k]);
            if (options & loCaseInsensitive) text = UpperCase(text);
            if (options & loPartialKey)
                match = SameText(text.substr(0, keys[k].size()), keys[k]);
            else
                match = text == keys[k];
        }
        if (match) {
            ScrollTo([&] {
                FRows->GoTo(i);
                GetRecord(gmCurrent);
            });
            return true;
        }
    }
    if (FIrregularView) {
        TWmiRow* active = ActiveRow();
        BuildFieldDefs(FRowFieldDefs, active ? active->Object.Get() : nullptr, false);
    }
    return false;
}

ComPtr<IDispatch> TWmiDataSet::GetWmiObject() {
    TWmiRow* row = ActiveRow();
    return row ? row->Object : nullptr;
}

ComPtr<IDispatch> TWmiDataSet::GetWmiServices() {
    return FConnection ? FConnection->GetWmiServices() : nullptr;
}
