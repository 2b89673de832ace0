#pragma once
// The media events of root\WMI: ExecNotificationQuery's semisynchronous event source, which
// receives what TSimProvider::RaiseMediaEvent raises from then on.
#include <memory>
#include <string>

#include "sim/SimDispatch.h"
#include "sim/SimRepository.h"

// Raises TSimError for a query that is not WQL, not for a media event class of root\WMI, or
// that names properties the class lacks.
ComPtr<TSimDispatch> SimOpenEventSource(const std::shared_ptr<TSimRepository>& repository,
                                        const std::wstring& nameSpace, const TSimQuery& query);
