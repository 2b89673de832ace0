#pragma once
// WMI's values and CIM types as the dataset layer sees them: field types, dates, text.
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "framework/DataSet.h"

// The field type and size of a property's CIM type; raises for a type WMI should not give.
TFieldType FieldTypeOfCimType(int cimType, bool isArray, int& size);
// A CIM date-time text such as "20260301123000.250000+480" as a date; the offset from UTC is
// not applied. A year, month or day of 0 is today's.
DATE CimDateTimeToDate(const std::wstring& text);
// Arrays as "{a, b}", objects as their MOF text, null as "".
std::wstring WmiValueText(const VARIANT& value);
// A property's value as the field type shows it; null stays empty. Raises for a value that
// does not convert, and for a type no WMI value is read as (fieldName names it).
ScopedVariant CimValueAsField(const VARIANT& value, TFieldType type, const std::wstring& fieldName);
