#pragma once
// What one switch came to: done, done once the computer restarts, or failed for a cause the
// user is told.
#include <cstdint>
#include <string>
#include <utility>

struct TSwitchResult {
    // 0 done; 1 done, effective after a restart (a WMI method's answer); otherwise the first
    // failure's code: a WMI method's answer (a uint32, 2147786788 as that), netsh's exit code,
    // or -1.
    int64_t Code = 0;
    bool Failed = false;
    // The first failure's cause, the failure box's second line; empty on success.
    std::wstring Cause;
    // Done, with something the user should know (the settings wait for the cable); or empty.
    std::wstring Note;
    // The interface GUID of the adapter whose network tells where the cable is: the first the
    // switch changed whose cable is in (or the first at all); empty when it changed none.
    std::wstring AdapterGuid;

    bool RestartNeeded() const { return !Failed && Code == 1; }
    // Takes in the result of a later step: the first failure stays, a restart need is kept.
    void Add(const TSwitchResult& later) {
        if (Failed) return;
        std::wstring note = Note.empty() ? later.Note : Note;
        if (later.Failed || later.Code == 1) *this = later;
        if (!Failed) Note = std::move(note);
    }
    static TSwitchResult Failure(int64_t code, std::wstring cause) {
        return {code, true, std::move(cause), {}, {}};
    }
    static TSwitchResult Done(std::wstring note) { return {0, false, {}, std::move(note), {}}; }
};
