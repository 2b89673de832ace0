#pragma once
// What --exit-when-idle reports, in one form for the program and for the empty program it is
// measured beside: the time from the process's creation to now, and its memory.
#include <cstdint>
#include <string>

struct TProcessFigures {
    double SinceCreationMs = 0;
    uint64_t PeakWorkingSet = 0; // bytes
    uint64_t PrivateBytes = 0;
};

// Zeros where the system does not tell.
TProcessFigures ProcessFigures();
// Appends one line "<milliseconds since creation> <peak working set bytes> <private bytes>" to
// the file. Answers false when the line is not all written.
bool WriteStartFigures(const std::wstring& file);
