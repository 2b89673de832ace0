#pragma once
// What crosses the service's pipe: four requests of eight bytes and one answer of fixed size,
// each read back strictly. A request carries nothing of the caller's but its kind.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/SwitchResult.h"

enum class TServiceRequestKind : uint16_t {
    State = 1,
    SwitchToA = 2,
    SwitchToB = 3,
    // The answer comes with the next change the service publishes.
    WaitForChange = 4
};

struct TServiceRequest {
    TServiceRequestKind Kind;
};

constexpr uint32_t ServiceRequestMagic = 0x314B5754; // "TWK1"
constexpr size_t ServiceRequestSize = 8;

// The request's bytes: magic, kind and a zero reserved field, each little-endian.
struct TServiceRequestBytes {
    uint8_t Bytes[ServiceRequestSize];
};
TServiceRequestBytes ServiceRequestBytesOf(TServiceRequestKind kind);
// Exactly eight bytes of that form with one of the four kinds; none for anything else.
std::optional<TServiceRequest> ParseServiceRequest(const void* bytes, size_t size);

// What made the service publish a change, for the trays that wait for one.
enum class TServiceChange : uint16_t {
    None = 0,
    // A client's switch, done or failed.
    Switched = 1,
    // The cable moved to the other profile's network; the new one answered, or did not.
    AutoSwitched = 2,
    AutoSwitchedNoGateway = 3,
    // The cable came back to the active profile's network: nothing switched.
    Unchanged = 4,
    // Whether the network is watched changed.
    Watching = 5
};

constexpr uint32_t ServiceStateMagic = 0x534B5754; // "TWKS"

// The service's answer, sent as it lies in memory: fields in their natural alignment, so there
// is no padding to carry stale bytes. Every text is NUL-terminated within its array and the
// rest of the array is zero.
struct TServiceState {
    uint32_t Magic = ServiceStateMagic;
    uint16_t Kind = 0;   // the TServiceRequestKind answered
    uint16_t Change = 0; // a TServiceChange: what the change published was
    // The switch's result, as TSwitchResult::Code: 0 done, 1 done once the computer restarts.
    int64_t Code = 0;
    // The cause of a failed switch, the failure box's second line; of one done, its note.
    wchar_t Cause[256] = {};
    // "A", "B" or empty.
    wchar_t ActiveProfile[2] = {};
    wchar_t NameA[64] = {};
    wchar_t NameB[64] = {};
    // Whether automatic switching hears the cable.
    uint32_t NetworkWatched = 0;
    // Counted up by the service at each change.
    uint32_t ChangeCount = 0;
};
static_assert(sizeof(wchar_t) == 2, "the answer's texts are UTF-16");
static_assert(sizeof(TServiceState) == 800, "the answer's size is part of the protocol");

// The answer of exactly that size and magic whose every text ends within its array and whose
// active profile is A, B or none; none for anything else.
std::optional<TServiceState> ParseServiceState(const void* bytes, size_t size);

// Puts text into a text field, cut to what fits before the terminating NUL (never between the
// two halves of a surrogate pair), the rest of the field zero.
void SetServiceText(wchar_t* field, size_t capacity, std::wstring_view text);
template <size_t N> void SetServiceText(wchar_t (&field)[N], std::wstring_view text) {
    SetServiceText(field, N, text);
}
// The text of a field, up to its NUL (or its end, for a field not read by ParseServiceState).
std::wstring ServiceText(const wchar_t* field, size_t capacity);
template <size_t N> std::wstring ServiceText(const wchar_t (&field)[N]) {
    return ServiceText(field, N);
}

// A switch's result into the answer: its code and its cause, or the note of one done. A failure
// never reads as done: one whose code says done (0 or 1) is sent as -1.
void SetServiceResult(TServiceState& state, const TSwitchResult& result);
// The switch's result an answer carries, as SetServiceResult put it in.
TSwitchResult ServiceResult(const TServiceState& state);
