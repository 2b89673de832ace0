#pragma once
// Per-thread CPU time of this process over a span (GetThreadTimes on every thread of the
// process), and the wake-ups of the calling thread's message loop over the same span.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <map>

// CPU time of each thread of this process, in 100 ns units, by thread id.
inline std::map<DWORD, ULONGLONG> SampleThreads() {
    std::map<DWORD, ULONGLONG> threads;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return threads;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        if (!thread) continue;
        FILETIME created, exited, kernel, user;
        if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
            const auto value = [](FILETIME t) {
                return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
            };
            threads[entry.th32ThreadID] = value(kernel) + value(user);
        }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return threads;
}

// Runs the message loop for the given time; answers its wake-ups.
inline unsigned PumpFor(DWORD milliseconds) {
    unsigned wakeUps = 0;
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (ULONGLONG now; (now = GetTickCount64()) < end;) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now),
                                      QS_ALLINPUT) == WAIT_OBJECT_0)
            ++wakeUps;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return wakeUps;
}

// Each thread's CPU milliseconds between two samples, the loop thread's wake-ups per second.
inline void PrintThreads(const char* program, const std::map<DWORD, ULONGLONG>& before,
                         const std::map<DWORD, ULONGLONG>& after, DWORD seconds,
                         unsigned loopWakeUps) {
    double total = 0;
    for (const auto& [id, end] : after) {
        const auto start = before.find(id);
        const double ms = (end - (start == before.end() ? 0 : start->second)) / 10000.0;
        total += ms;
        std::printf("  %-24s thread %5lu %s %8.1f ms CPU\n", program, id,
                    id == GetCurrentThreadId() ? "(message loop)" : "              ", ms);
    }
    std::printf("  %-24s all threads %8.1f ms CPU in %lu s; message loop %.2f wake-ups/s\n",
                program, total, seconds, loopWakeUps / static_cast<double>(seconds));
    std::fflush(stdout);
}
