#pragma once
// SWbemLocator: ConnectServer to a namespace of this computer.
#include <memory>
#include <string>

#include "sim/SimDispatch.h"
#include "sim/SimRepository.h"

ComPtr<TSimDispatch> MakeSimLocator(std::shared_ptr<TSimRepository> repository);

std::wstring SimComputerName();
// This computer by any of its names; nothing else is ever reached.
bool SimIsLocalServer(const std::wstring& server);
