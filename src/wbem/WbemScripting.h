#pragma once
// Class and interface ids, flags and codes of WMI's scripting objects. They have a folder of their
// own, which needs nothing, because the WMI components and the simulated provider that answers in
// WMI's place need the same values, and the framework knows nothing of WMI.
#include <windows.h>

inline constexpr CLSID kClsidSWbemLocator = {
    0x76A64158, 0xCB41, 0x11D1, {0x8B, 0x02, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};
inline constexpr CLSID kClsidSWbemNamedValueSet = {
    0x9AED384E, 0xCE8B, 0x11D1, {0x8B, 0x05, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};
// The class behind the "winmgmts:" moniker.
inline constexpr CLSID kClsidWbemMoniker = {
    0x172BDDF8, 0xCEEA, 0x11D1, {0x8B, 0x05, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};

// The scripting interfaces (ISWbem*), dual interfaces whose IDispatch part late-bound callers use.
inline constexpr IID kIidSWbemLocator = {
    0x76A6415B, 0xCB41, 0x11D1, {0x8B, 0x02, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};
inline constexpr IID kIidSWbemObject = {
    0x76A6415A, 0xCB41, 0x11D1, {0x8B, 0x02, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};
inline constexpr IID kIidSWbemServices = {
    0x76A6415C, 0xCB41, 0x11D1, {0x8B, 0x02, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};
inline constexpr IID kIidSWbemObjectSet = {
    0x76A6415F, 0xCB41, 0x11D1, {0x8B, 0x02, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};
inline constexpr IID kIidSWbemNamedValueSet = {
    0xCF2376EA, 0xCE8C, 0x11D1, {0x8B, 0x05, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};
inline constexpr IID kIidSWbemEventSource = {
    0x27D54D92, 0x0EBE, 0x11D2, {0x8B, 0x22, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};

// ExecQuery: return before every object is there; the objects can be enumerated only once.
inline constexpr int kWbemFlagReturnImmediately = 16;
inline constexpr int kWbemFlagForwardOnly = 32;
// ExecQuery: one prototype object that has the query's properties, with no values.
inline constexpr int kWbemQueryFlagPrototype = 2;
// Get and ExecQuery: qualifiers in the locale's wording (such as a method's Values texts).
inline constexpr int kWbemFlagUseAmendedQualifiers = 0x20000;

// An event source's NextEvent found no event within its wait.
inline constexpr HRESULT kWbemErrTimedOut = static_cast<HRESULT>(0x80043001);
