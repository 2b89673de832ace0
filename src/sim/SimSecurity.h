#pragma once
// Security_ of a services object or the locator: impersonation and authentication levels and
// the privileges asked for.
#include <memory>

#include "sim/SimDispatch.h"
#include "sim/SimRepository.h"

ComPtr<TSimDispatch> MakeSimSecurity(std::shared_ptr<TSimRepository> repository);
