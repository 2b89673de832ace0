#include "wmi/CimValue.h"

#include <cstring>
#include <vector>

#include "framework/Strings.h"
#include "wmi/ArrayText.h"
#include "wmi/CimDateText.h"
#include "wmi/WmiAutomation.h"

using Microsoft::WRL::ComPtr;

namespace {
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
} // namespace

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
    SYSTEMTIME now;
    GetLocalTime(&now);
    double days = 0;
    if (!CimDateTimeDays(text, {now.wYear, now.wMonth, now.wDay}, days))
        throw TWmiException(L"Invaid date format: " + text);
    return days;
}

std::wstring WmiValueText(const VARIANT& value) {
    if (value.vt & VT_ARRAY) {
        // Elements are borrowed from the array's memory, not copied.
        SAFEARRAY* items = ArrayOf(value);
        if (!items) return L"{}";
        std::vector<unsigned long> extents;
        for (USHORT d = 0; d < items->cDims; ++d)
            extents.push_back(items->rgsabound[d].cElements);
        const VARTYPE type = value.vt & VT_TYPEMASK;
        const ScopedSafeArrayAccess data(items);
        WmiCheck(data.Result());
        return ArrayText(extents.data(), extents.size(), data.Element(0), items->cbElements,
                         [&](const unsigned char* element) {
                             VARIANT item;
                             if (type == VT_VARIANT) {
                                 std::memcpy(&item, element, sizeof item);
                             } else if (type == VT_DECIMAL) {
                                 // A decimal fills the whole variant, its type field aside.
                                 std::memcpy(&item.decVal, element, sizeof item.decVal);
                                 item.vt = VT_DECIMAL;
                             } else {
                                 // Any other element is borrowed into the eight bytes of the
                                 // union; a record needs its type description beside it.
                                 if (type == VT_RECORD || items->cbElements > sizeof item.llVal)
                                     WmiCheck(DISP_E_BADVARTYPE);
                                 VariantInit(&item);
                                 std::memcpy(&item.llVal, element, items->cbElements);
                                 item.vt = type;
                             }
                             return WmiValueText(item);
                         });
    }
    if (value.vt == (VT_BYREF | VT_VARIANT))
        return value.pvarVal ? WmiValueText(*value.pvarVal) : L"";
    if (value.vt & VT_BYREF) {
        ScopedVariant plain;
        if (FAILED(VariantCopyInd(plain.Ptr(), const_cast<VARIANT*>(&value)))) return {};
        return WmiValueText(plain.Get());
    }
    if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) {
        ComPtr<IDispatch> object = DispatchOf(value);
        if (!value.punkVal) return {};
        if (!HasMember(object.Get(), L"GetObjectText_")) return L"IDispatch";
        return WmiText(WmiCall(object.Get(), L"GetObjectText_", {ScopedVariant(0).Get()}));
    }
    return VariantToText(value);
}

ScopedVariant CimValueAsField(const VARIANT& value, TFieldType type, const std::wstring& name) {
    if (VariantIsNull(value)) return ScopedVariant();
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftMemo:
    case ftWideString:
        return ScopedVariant(VariantToText(value));
    case ftSmallint:
    case ftWord:
    case ftInteger:
        return WmiConvert(value, VT_I4);
    case ftBoolean:
        return WmiConvert(value, VT_BOOL);
    case ftFloat:
        return WmiConvert(value, VT_R8);
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp: {
        ScopedVariant date;
        date.SetDate(CimDateTimeToDate(VariantToText(value)));
        return date;
    }
    case ftLargeint: {
        const std::wstring text = Trim(VariantToText(value));
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
        large.SetInt64(number);
        return large;
    }
    case ftArray:
    case ftVariant:
        return ScopedVariant::Copy(value);
    default:
        throw TWmiException(L"Unknown data type in field " + name);
    }
}
