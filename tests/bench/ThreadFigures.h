#pragma once
// Per-thread CPU time and wake-ups of this process over a span, read from the host's /proc
// through Wine's Z: drive: the unix threads behind this Windows process, Wine's own included.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

struct TThreadSample {
    std::string Name;
    unsigned long long Ticks = 0;    // user + system, in clock ticks
    unsigned long long Switches = 0; // voluntary + involuntary context switches
};

inline std::map<int, TThreadSample> SampleThreads() {
    std::map<int, TThreadSample> threads;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\self\\task\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return threads;
    do {
        const int tid = std::atoi(found.cFileName);
        if (tid <= 0) continue;
        const std::string folder = std::string("Z:\\proc\\self\\task\\") + found.cFileName;
        TThreadSample sample;
        std::ifstream stat(folder + "\\stat");
        std::string line;
        std::getline(stat, line);
        // "tid (name) state ..." with utime and stime the 14th and 15th fields.
        const size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        sample.Name = line.substr(open + 1, close - open - 1);
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        for (int i = 3; i <= 15 && rest >> field; ++i)
            if (i >= 14) sample.Ticks += std::stoull(field);
        std::ifstream status(folder + "\\status");
        while (std::getline(status, line))
            if (line.find("ctxt_switches:") != std::string::npos)
                sample.Switches += std::stoull(line.substr(line.find(':') + 1));
        threads[tid] = sample;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return threads;
}

// Prints each thread's CPU milliseconds and wake-ups per second between two samples.
inline void PrintThreads(const char* program, const std::map<int, TThreadSample>& before,
                         const std::map<int, TThreadSample>& after, double seconds) {
    unsigned long long ticks = 0;
    double wakeUps = 0;
    for (const auto& [tid, end] : after) {
        const auto start = before.find(tid);
        const TThreadSample begin = start == before.end() ? TThreadSample{} : start->second;
        const double ms = (end.Ticks - begin.Ticks) * 10.0; // 100 ticks a second
        const double perSecond = (end.Switches - begin.Switches) / seconds;
        ticks += end.Ticks - begin.Ticks;
        wakeUps += perSecond;
        std::printf("  %-22s thread %-7d %-16s %8.1f ms CPU %8.2f wake-ups/s\n", program, tid,
                    end.Name.c_str(), ms, perSecond);
    }
    std::printf("  %-22s all threads              %8.1f ms CPU %8.2f wake-ups/s\n", program,
                ticks * 10.0, wakeUps);
}
