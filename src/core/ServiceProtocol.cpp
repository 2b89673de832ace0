#include "core/ServiceProtocol.h"

#include <algorithm>
#include <cstring>

namespace {
uint32_t ReadUint32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t ReadUint16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

bool Terminated(const wchar_t* field, size_t capacity) {
    return std::find(field, field + capacity, L'\0') != field + capacity;
}
} // namespace

TServiceRequestBytes ServiceRequestBytesOf(TServiceRequestKind kind) {
    const auto value = static_cast<uint16_t>(kind);
    return {{uint8_t(ServiceRequestMagic), uint8_t(ServiceRequestMagic >> 8),
             uint8_t(ServiceRequestMagic >> 16), uint8_t(ServiceRequestMagic >> 24), uint8_t(value),
             uint8_t(value >> 8), 0, 0}};
}

std::optional<TServiceRequest> ParseServiceRequest(const void* bytes, size_t size) {
    if (!bytes || size != ServiceRequestSize) return std::nullopt;
    const auto* p = static_cast<const uint8_t*>(bytes);
    if (ReadUint32(p) != ServiceRequestMagic || ReadUint16(p + 6) != 0) return std::nullopt;
    const uint16_t kind = ReadUint16(p + 4);
    if (kind < uint16_t(TServiceRequestKind::State) ||
        kind > uint16_t(TServiceRequestKind::WaitForChange))
        return std::nullopt;
    return TServiceRequest{static_cast<TServiceRequestKind>(kind)};
}

std::optional<TServiceState> ParseServiceState(const void* bytes, size_t size) {
    if (!bytes || size != sizeof(TServiceState)) return std::nullopt;
    TServiceState state;
    memcpy(&state, bytes, sizeof state);
    if (state.Magic != ServiceStateMagic || !Terminated(state.Cause, std::size(state.Cause)) ||
        !Terminated(state.ActiveProfile, std::size(state.ActiveProfile)) ||
        !Terminated(state.NameA, std::size(state.NameA)) ||
        !Terminated(state.NameB, std::size(state.NameB)))
        return std::nullopt;
    const wchar_t active = state.ActiveProfile[0];
    if (active != L'\0' && active != L'A' && active != L'B') return std::nullopt;
    return state;
}

void SetServiceText(wchar_t* field, size_t capacity, std::wstring_view text) {
    if (capacity == 0) return;
    size_t length = std::min(text.size(), capacity - 1);
    if (length < text.size() && length > 0 && text[length - 1] >= 0xD800 &&
        text[length - 1] <= 0xDBFF)
        --length;
    std::fill(field, field + capacity, L'\0');
    std::copy(text.begin(), text.begin() + length, field);
}

std::wstring ServiceText(const wchar_t* field, size_t capacity) {
    return std::wstring(field, std::find(field, field + capacity, L'\0'));
}

void SetServiceResult(TServiceState& state, const TSwitchResult& result) {
    state.Code = result.Failed && (result.Code == 0 || result.Code == 1) ? -1 : result.Code;
    SetServiceText(state.Cause, result.Failed ? result.Cause : result.Note);
}

TSwitchResult ServiceResult(const TServiceState& state) {
    if (state.Code == 0 || state.Code == 1)
        return {state.Code, false, {}, ServiceText(state.Cause), {}};
    return TSwitchResult::Failure(state.Code, ServiceText(state.Cause));
}
