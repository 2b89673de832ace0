#pragma once
// SWbemNamedValueSet: the context a caller may hand to ConnectServer or ExecQuery.
#include <vector>

#include "sim/SimDispatch.h"
#include "sim/SimProbe.h"

ComPtr<TSimDispatch> MakeSimNamedValueSet();
// The entries of a context argument as they arrived; another provider's set is not looked into.
std::vector<TSimNamedValue> SimContextValues(IDispatch* context);
