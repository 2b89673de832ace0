#include "wmi/WmiDataSet.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>

#include "framework/Strings.h"
#include "wmi/WmiException.h"

using Microsoft::WRL::ComPtr;

namespace {
const int kReturnImmediately = 16;
const int kForwardOnly = 32;
const int kQueryPrototype = 2;

enum TCimType {
    CIM_SINT16 = 2,
    CIM_SINT32 = 3,
    CIM_REAL32 = 4,
    CIM_REAL64 = 5,
    CIM_STRING = 8,
    CIM_BOOLEAN = 11,
    CIM_OBJECT = 13,
    CIM_SINT8 = 16,
    CIM_UINT8 = 17,
    CIM_UINT16 = 18,
    CIM_UINT32 = 19,
    CIM_SINT64 = 20,
    CIM_UINT64 = 21,
    CIM_DATETIME = 101,
    CIM_REFERENCE = 102,
    CIM_CHAR16 = 103,
};

bool IsNull(const VARIANT& v) {
    return v.vt == VT_EMPTY || v.vt == VT_NULL;
}

ScopedVariant DispatchVariant(IDispatch* object) {
    ScopedVariant v;
    if (!object) return v;
    VARIANT* slot = v.Receive();
    object->AddRef();
    slot->vt = VT_DISPATCH;
    slot->pdispVal = object;
    return v;
}

ScopedVariant ChangedTo(const VARIANT& value, VARTYPE type) {
    ScopedVariant result;
    WmiCheck(VariantChangeType(result.Ptr(), const_cast<VARIANT*>(&value), 0, type));
    return result;
}

// Days from 1899-12-30, the origin of DATE, to a day of the Gregorian calendar.
long DaysOf(int year, int month, int day) {
    const int y = year - (month <= 2);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097L + doe - 719468L + 25569L;
}

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

struct TBadDate {};

// Characters from (counting from 1) as a number; a sign only where allowed.
int NumberAt(const std::wstring& text, size_t from, size_t length, bool signedNumber = false) {
    if (text.size() < from - 1 + length) throw TBadDate{};
    int sign = 1, value = 0;
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[from - 1 + i];
        if (i == 0 && signedNumber && (c == L'+' || c == L'-')) {
            sign = c == L'-' ? -1 : 1;
        } else if (c >= L'0' && c <= L'9') {
            value = value * 10 + (c - L'0');
        } else {
            throw TBadDate{};
        }
    }
    return sign * value;
}

std::vector<std::wstring> SplitNames(const std::wstring& text) {
    std::vector<std::wstring> names;
    size_t start = 0;
    for (;;) {
        const size_t semicolon = text.find(L';', start);
        names.push_back(Trim(text.substr(start, semicolon - start)));
        if (semicolon == std::wstring::npos) return names;
        start = semicolon + 1;
    }
}

// The array a variant holds, directly or by reference.
SAFEARRAY* ArrayOf(const VARIANT& value) {
    if (!(value.vt & VT_BYREF)) return value.parray;
    return value.pparray ? *value.pparray : nullptr;
}

// Element i of a one-dimensional array, counted from its first index.
ScopedVariant ArrayElement(const VARIANT& array, LONG i) {
    SAFEARRAY* items = ArrayOf(array);
    LONG low = 0;
    SafeArrayGetLBound(items, 1, &low);
    LONG index = low + i;
    ScopedVariant element;
    const VARTYPE type = array.vt & VT_TYPEMASK;
    VARIANT* slot = element.Receive();
    if (type == VT_VARIANT) {
        WmiCheck(SafeArrayGetElement(items, &index, slot));
    } else {
        WmiCheck(SafeArrayGetElement(items, &index, &slot->llVal));
        slot->vt = type;
    }
    return element;
}

// The data of an array, locked while the object lives, so that an element whose text raises
// does not leave the array locked (a locked array cannot be destroyed, and leaks).
class TArrayData {
public:
    explicit TArrayData(SAFEARRAY* items) : FItems(items) {
        WmiCheck(SafeArrayAccessData(items, &FData));
    }
    ~TArrayData() { SafeArrayUnaccessData(FItems); }
    TArrayData(const TArrayData&) = delete;
    TArrayData& operator=(const TArrayData&) = delete;
    const BYTE* Element(ULONG i) const {
        return static_cast<const BYTE*>(FData) + i * FItems->cbElements;
    }

private:
    SAFEARRAY* FItems;
    void* FData = nullptr;
};

LONG ArrayLength(const VARIANT& array) {
    SAFEARRAY* items = ArrayOf(array);
    if (!items || SafeArrayGetDim(items) != 1) return 0;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(items, 1, &low);
    SafeArrayGetUBound(items, 1, &high);
    return high - low + 1;
}
} // namespace

// ---------------------------------------------------------------------------------------------

TFieldType FieldTypeOfCimType(int cimType, bool isArray, int& size) {
    size = 0;
    if (isArray) return ftVariant;
    switch (cimType) {
    case CIM_SINT8:
    case CIM_SINT16:
        return ftSmallint;
    case CIM_SINT32:
    case CIM_UINT32:
        return ftInteger;
    case CIM_UINT8:
    case CIM_UINT16:
        return ftWord;
    case CIM_SINT64:
    case CIM_UINT64:
        return ftLargeint;
    case CIM_REAL32:
    case CIM_REAL64:
        return ftFloat;
    case CIM_BOOLEAN:
        return ftBoolean;
    case CIM_STRING:
        size = 65535;
        return ftWideString;
    case CIM_CHAR16:
        size = 2;
        return ftWideString;
    case CIM_DATETIME:
        return ftDateTime;
    case CIM_REFERENCE:
        return ftVariant;
    case CIM_OBJECT:
        return ftInterface;
    }
    throw TWmiException(L"Unsupported CIM data type: " + std::to_wstring(cimType));
}

DATE CimDateTimeToDate(const std::wstring& text) {
    std::wstring t = text;
    std::replace(t.begin(), t.end(), L'*', L'0');
    if (t.empty()) return 0;
    try {
        int year = NumberAt(t, 1, 4), month = NumberAt(t, 5, 2), day = NumberAt(t, 7, 2);
        const int hour = NumberAt(t, 9, 2), minute = NumberAt(t, 11, 2),
                  second = NumberAt(t, 13, 2);
        const int microseconds = NumberAt(t, 16, 6);
        NumberAt(t, 22, 4, true); // the offset from UTC must be there, but is not applied
        SYSTEMTIME today;
        GetLocalTime(&today);
        if (year == 0) year = today.wYear;
        if (month == 0) month = today.wMonth;
        if (day == 0) day = today.wDay;
        if (month > 12 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59)
            throw TBadDate{};
        const double milliseconds =
            ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + microseconds / 1000;
        return static_cast<double>(DaysOf(year, month, day)) + milliseconds / 86400000.0;
    } catch (const TBadDate&) {
        throw TWmiException(L"Invaid date format: " + text);
    }
}

std::wstring WmiValueText(const VARIANT& value) {
    if (value.vt & VT_ARRAY) {
        // Elements are borrowed from the array's memory, not copied.
        SAFEARRAY* items = ArrayOf(value);
        if (!items) return L"{}";
        ULONG count = items->cDims ? 1 : 0;
        for (USHORT d = 0; d < items->cDims; ++d)
            count *= items->rgsabound[d].cElements;
        const VARTYPE type = value.vt & VT_TYPEMASK;
        std::wstring text = L"{";
        const TArrayData data(items);
        for (ULONG i = 0; i < count; ++i) {
            const BYTE* element = data.Element(i);
            VARIANT item;
            if (type == VT_VARIANT) {
                std::memcpy(&item, element, sizeof item);
            } else {
                VariantInit(&item);
                std::memcpy(&item.llVal, element,
                            std::min<size_t>(items->cbElements, sizeof item.llVal));
                item.vt = type;
            }
            if (i) text += L", ";
            text += WmiValueText(item);
        }
        return text + L"}";
    }
    if (value.vt == (VT_BYREF | VT_VARIANT))
        return value.pvarVal ? WmiValueText(*value.pvarVal) : L"";
    if (value.vt & VT_BYREF) {
        ScopedVariant plain;
        if (FAILED(VariantCopyInd(plain.Ptr(), const_cast<VARIANT*>(&value)))) return {};
        return WmiValueText(plain.Get());
    }
    if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) {
        ComPtr<IDispatch> object;
        object.Attach(DispatchOf(value));
        if (!value.punkVal) return {};
        if (!HasMember(object.Get(), L"GetObjectText_")) return L"IDispatch";
        return WmiText(WmiCall(object.Get(), L"GetObjectText_", {ScopedVariant(0).Get()}));
    }
    return VariantToText(value);
}

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
    ScopedVariant flags(FAsynchronous ? kReturnImmediately + kForwardOnly : kForwardOnly);
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
    ScopedVariant flags(kReturnImmediately + kForwardOnly + kQueryPrototype);
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
    ScopedVariant value = PropertyValue(row, name);
    if (IsNull(value.Get())) return ScopedVariant();
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftMemo:
    case ftWideString:
        return ScopedVariant(VariantToText(value.Get()));
    case ftSmallint:
    case ftWord:
    case ftInteger:
        return ChangedTo(value.Get(), VT_I4);
    case ftBoolean:
        return ChangedTo(value.Get(), VT_BOOL);
    case ftFloat:
        return ChangedTo(value.Get(), VT_R8);
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp: {
        ScopedVariant date;
        date.Receive()->vt = VT_DATE;
        date.Ptr()->date = CimDateTimeToDate(VariantToText(value.Get()));
        return date;
    }
    case ftLargeint: {
        const std::wstring text = Trim(VariantToText(value.Get()));
        LONGLONG number = 0;
        if (!text.empty()) {
            size_t used = 0;
            try {
                number = std::stoll(text, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used != text.size())
                throw EDatabaseError(L"'" + text + L"' is not a valid integer value");
        }
        ScopedVariant large;
        large.Receive()->vt = VT_I8;
        large.Ptr()->llVal = number;
        return large;
    }
    case ftArray:
    case ftVariant:
        return value;
    default:
        throw TWmiException(L"Unknown data type in field " + name);
    }
}

ScopedVariant TWmiDataSet::GetFieldData(const TField& field) {
    TWmiRow* row = ActiveRow();
    if (!row) return ScopedVariant();
    if (FIrregularView) return DispatchVariant(row->Object.Get());
    return FieldValue(*row, field.FieldName(), field.DataType());
}

std::wstring TWmiDataSet::KeyText(TWmiRow& row, const std::wstring& name) {
    if (FIrregularView) {
        BuildFieldDefs(FRowFieldDefs, row.Object.Get(), false);
        if (!FindFieldDef(FRowFieldDefs, name))
            throw EDatabaseError(L"Field '" + name + L"' not found");
        return WmiValueText(PropertyValue(row, name).Get());
    }
    const TFieldDef* def = FindFieldDef(FieldDefs(), name);
    if (!def) throw EDatabaseError(L"Field '" + name + L"' not found");
    return WmiValueText(FieldValue(row, def->Name, def->DataType).Get());
}

bool TWmiDataSet::Locate(const std::wstring& keyFields, const VARIANT& keyValues,
                         TLocateOptions options) {
    CheckActive();
    const std::vector<std::wstring> names = SplitNames(keyFields);
    const bool valuesAreArray = (keyValues.vt & VT_ARRAY) != 0;
    if (names.size() > 1 &&
        (!valuesAreArray || ArrayLength(keyValues) != static_cast<LONG>(names.size())))
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
