#pragma once
// The class objects through which COM reaches the provider: the class behind the winmgmts
// moniker (which also parses "winmgmts:" names), SWbemLocator and SWbemNamedValueSet.
#include <windows.h>

#include <memory>
#include <vector>

#include "sim/SimRepository.h"

// Registers them for this process (CoRegisterClassObject, REGCLS_MULTIPLEUSE) and answers the
// cookies to revoke; raises when COM refuses one, after revoking those already registered.
std::vector<DWORD> SimRegisterClassObjects(const std::shared_ptr<TSimRepository>& repository);
void SimRevokeClassObjects(const std::vector<DWORD>& cookies);
