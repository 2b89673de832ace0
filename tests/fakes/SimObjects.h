#pragma once
// The simulated scripting objects the class factories and the moniker hand out.
#include <memory>
#include <string>
#include <vector>

#include "SimDispatch.h"
#include "SimRepository.h"

// The services object of a namespace ("root\cimv2", "root\WMI").
ComPtr<TSimDispatch> MakeSimServices(std::shared_ptr<TSimRepository> repository,
                                     std::wstring nameSpace);
ComPtr<TSimDispatch> MakeSimLocator(std::shared_ptr<TSimRepository> repository);
ComPtr<TSimDispatch> MakeSimNamedValueSet();

std::wstring SimComputerName();
// This computer by any of its names; nothing else is ever reached.
bool SimIsLocalServer(const std::wstring& server);

// What the services Get answers for an object path or a class name (raises TSimError).
ComPtr<TSimDispatch> SimGetObject(const std::shared_ptr<TSimRepository>& repository,
                                  const std::wstring& nameSpace, const std::wstring& path,
                                  long flags);

// Carries out one adapter method and records it (raises TSimError when told to).
ScopedVariant SimCallAdapterMethod(TSimRepository& repository, int adapterIndex,
                                   const std::wstring& method, const TSimArgs& args);
// The shape of one argument as it arrived.
TSimArgument SimArgumentShape(const VARIANT& argument);
