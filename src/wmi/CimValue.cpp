#include "wmi/CimValue.h"

#include <algorithm>
#include <cstring>

#include "framework/Strings.h"
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
        const ScopedSafeArrayAccess data(items);
        WmiCheck(data.Result());
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
