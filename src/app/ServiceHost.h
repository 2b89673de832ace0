#pragma once
// --service: the program as the service control manager starts it, holding the machine's
// switching (core/SwitchService) until the manager stops it.
#include <optional>
#include <string>

#include "app/Simulation.h"

// Runs the service when the command line asks for it and answers the exit code; none without
// --service. Started any other way than by the service control manager, it says so and ends.
std::optional<int> RunAsService(const std::wstring& commandLine,
                                const TSimulationOptions& simulation);
