#pragma once
// Simulation mode (--simulate): the program works against simulated adapters instead of the
// machine's, and writes what they receive to simulated-network.log beside the executable.
#include <string>

struct TSimulationOptions {
    bool Enabled = false;
    unsigned DelayMs = 0; // --simulate-delay=N: each adapter method takes this long
};

TSimulationOptions ParseSimulationOptions(const std::wstring& commandLine);
// Installs the simulated provider; call before the main window is created.
void StartSimulation(const TSimulationOptions& options);
void StopSimulation();
