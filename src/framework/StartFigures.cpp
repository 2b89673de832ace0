#include "framework/StartFigures.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>

#include "framework/TextFile.h"

TProcessFigures ProcessFigures() {
    TProcessFigures figures;
    FILETIME created, exited, kernel, user, now;
    // Not the precise clock: that one needs Windows 8.
    GetSystemTimeAsFileTime(&now);
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        const auto ticks = [](FILETIME t) {
            return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        figures.SinceCreationMs = (ticks(now) - ticks(created)) / 10000.0;
    }
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        figures.PeakWorkingSet = memory.PeakWorkingSetSize;
        // Wine leaves PrivateUsage at zero; Windows gives the same commit charge in both.
        figures.PrivateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    }
    return figures;
}

bool WriteStartFigures(const std::wstring& file) {
    const TProcessFigures figures = ProcessFigures();
    wchar_t line[96];
    std::swprintf(line, 96, L"%.3f %llu %llu", figures.SinceCreationMs,
                  static_cast<unsigned long long>(figures.PeakWorkingSet),
                  static_cast<unsigned long long>(figures.PrivateBytes));
    return AppendTextLine(file, line);
}
