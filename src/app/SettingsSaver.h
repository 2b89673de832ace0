#pragma once
// --save-settings: the elevated copy that writes what the settings dialog of an installed
// Tarnwick handed it, when the dialog itself is not elevated.
#include <optional>
#include <string>

#include "app/Simulation.h"

// Saves the settings the command line carries into the Config.ini beside this exe, which must
// be an installed one, and answers the exit code (0 saved; 1 not, said in a box); none
// without the option.
// "开机时自动运行" is the installed tray's Run value.
std::optional<int> RunAsSettingsSaver(const std::wstring& commandLine,
                                      const TSimulationOptions& simulation);
