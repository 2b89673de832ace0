// CIM date-time text as the dataset reads date fields: any text either parses to the day its
// digits name, counted independently here, or is refused.
#include <cmath>

#include "FuzzText.h"
#include "wmi/CimDateText.h"

namespace {
bool Leap(long year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from 1899-12-30 by whole years and months, not by the era arithmetic under test.
long CountedDays(int year, int month, int day) {
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    long days = 0;
    for (long y = 1900; y < year; ++y)
        days += Leap(y) ? 366 : 365;
    for (long y = year; y < 1900; ++y)
        days -= Leap(y) ? 366 : 365;
    for (int m = 1; m < month; ++m)
        days += lengths[m - 1] + (m == 2 && Leap(year));
    return days + day - 1 + 2; // 1900-01-01 is day 2
}

int Digits(const std::wstring& t, size_t from, size_t length) {
    int value = 0;
    for (size_t i = 0; i < length; ++i)
        value = value * 10 + (t[from - 1 + i] - L'0');
    return value;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // Today comes from the input too, so that every day of the year stands in for it.
    const TCimDay today{1 + data[0] * 39 % 9999, 1 + data[1] % 12, 1 + data[2] % 28};
    const std::wstring text = FuzzText(data + 3, size - 3);
    double days = -1;
    if (!CimDateTimeDays(text, today, days)) return 0;
    FUZZ_CHECK(std::isfinite(days));
    if (text.empty()) {
        FUZZ_CHECK(days == 0);
        return 0;
    }
    FUZZ_CHECK(text.size() >= 25);
    std::wstring t = text;
    for (wchar_t& c : t)
        if (c == L'*') c = L'0';
    int year = Digits(t, 1, 4), month = Digits(t, 5, 2), day = Digits(t, 7, 2);
    if (year == 0) year = today.Year;
    if (month == 0) month = today.Month;
    if (day == 0) day = today.Day;
    FUZZ_CHECK(month >= 1 && month <= 12 && day >= 1 && day <= 31);
    const long whole = static_cast<long>(std::floor(days));
    FUZZ_CHECK(whole == CountedDays(year, month, day));
    const double seconds = Digits(t, 9, 2) * 3600.0 + Digits(t, 11, 2) * 60.0 + Digits(t, 13, 2) +
                           Digits(t, 16, 6) / 1000 / 1000.0;
    FUZZ_CHECK(std::fabs((days - whole) * 86400.0 - seconds) < 1e-3);
    return 0;
}
