#pragma once
// Tarnwick.exe --install and --uninstall [--quiet]: installing for every user of the computer,
// or removing that install, then ending. Started without an administrator's token, the program
// asks for one (the consent prompt) and has its elevated copy do the work.
#include <optional>
#include <string>

#include "app/Simulation.h"

// None when the command line asks for neither. Otherwise the exit code once it is done: 0 done,
// 1 failed or the prompt refused, 2 for a command line that asks for both. One box says what
// was done or why not, unless --quiet is given.
std::optional<int> RunInstallCommand(const std::wstring& commandLine,
                                     const TSimulationOptions& simulation);
