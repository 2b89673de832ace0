#include "wmi/CimDateText.h"

#include <algorithm>

namespace {
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

// Characters from (counting from 1) as a number; a sign only where allowed.
bool NumberAt(const std::wstring& text, size_t from, size_t length, int& number,
              bool signedNumber = false) {
    if (text.size() < from - 1 + length) return false;
    int sign = 1, value = 0;
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[from - 1 + i];
        if (i == 0 && signedNumber && (c == L'+' || c == L'-')) {
            sign = c == L'-' ? -1 : 1;
        } else if (c >= L'0' && c <= L'9') {
            value = value * 10 + (c - L'0');
        } else {
            return false;
        }
    }
    number = sign * value;
    return true;
}
} // namespace

bool CimDateTimeDays(const std::wstring& text, const TCimDay& today, double& days) {
    std::wstring t = text;
    std::replace(t.begin(), t.end(), L'*', L'0');
    if (t.empty()) {
        days = 0;
        return true;
    }
    int year, month, day, hour, minute, second, microseconds, offset;
    if (!NumberAt(t, 1, 4, year) || !NumberAt(t, 5, 2, month) || !NumberAt(t, 7, 2, day) ||
        !NumberAt(t, 9, 2, hour) || !NumberAt(t, 11, 2, minute) || !NumberAt(t, 13, 2, second) ||
        !NumberAt(t, 16, 6, microseconds) || !NumberAt(t, 22, 4, offset, true))
        return false;
    if (year == 0) year = today.Year;
    if (month == 0) month = today.Month;
    if (day == 0) day = today.Day;
    if (month > 12 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59)
        return false;
    const double milliseconds =
        ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + microseconds / 1000;
    days = static_cast<double>(DaysOf(year, month, day)) + milliseconds / 86400000.0;
    return true;
}
