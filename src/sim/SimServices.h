#pragma once
// SWbemServices of a namespace: ExecQuery, Get, InstancesOf, ExecNotificationQuery, Security_.
#include <memory>
#include <string>

#include "sim/SimDispatch.h"
#include "sim/SimRepository.h"

// The services object of a namespace ("root\cimv2", "root\WMI").
ComPtr<TSimDispatch> MakeSimServices(std::shared_ptr<TSimRepository> repository,
                                     std::wstring nameSpace);

// What the services Get answers for an object path or a class name (raises TSimError).
ComPtr<TSimDispatch> SimGetObject(const std::shared_ptr<TSimRepository>& repository,
                                  const std::wstring& nameSpace, const std::wstring& path,
                                  long flags);
