#pragma once
// CIM date-time text read as a day count: the part of reading a date that needs no windows.h.
#include <string>

struct TCimDay {
    int Year, Month, Day;
};

// The days since 1899-12-30 (the origin of COM's DATE), with the time as their fraction, that a
// CIM date-time text such as "20260301123000.250000+480" names. "*" reads as "0", and a year,
// month or day of 0 is taken from today; the empty text gives 0. The offset from UTC must be
// there but is not applied. False for a text that is no CIM date-time.
bool CimDateTimeDays(const std::wstring& text, const TCimDay& today, double& days);
