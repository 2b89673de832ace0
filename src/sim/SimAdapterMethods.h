#pragma once
// The four methods of Win32_NetworkAdapterConfiguration, acting on a simulated adapter.
#include <string>

#include "sim/SimDispatch.h"
#include "sim/SimRepository.h"

// Carries out one adapter method, reports it to the probe and to OnCall, and answers its code
// (raises TSimError for a raised call).
ScopedVariant SimCallAdapterMethod(TSimRepository& repository, int adapterIndex,
                                   const std::wstring& method, const TSimArgs& args);
// The shape of one argument as it arrived.
TSimArgument SimArgumentShape(const VARIANT& argument);

// A dotted IPv4 address (its value in value when given), and a subnet mask: ones, then zeros.
bool SimIsAddress(const std::wstring& text, unsigned long* value = nullptr);
bool SimIsMask(const std::wstring& text);
