#pragma once
// The netsh of simulation mode. The stand-in process (Tarnwick.exe started as netsh, or a test's
// fake) hands its command line to the simulated instance that started it; the instance applies
// it to its simulated adapters as Windows' netsh would and answers netsh's exit code. So a
// switch through netsh changes the simulated adapters, and reading them back tells the truth.
// Nothing travels through the environment: the stand-in finds the instance as its parent
// process, which holds the receiving window.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/SimAdapter.h"

// Applies one "netsh interface ip ..." command line to the adapters; answers netsh's exit
// code: 0 done; 1 for what Windows' netsh refuses, among them DHCP asked for where it is
// already on ("DHCP is already enabled on this interface."), an unknown connection name and a
// malformed address. DHCP on an adapter of one of the networks takes what that network gives.
int SimApplyNetshCommand(std::vector<TSimAdapter>& adapters, const std::wstring& commandLine,
                         const std::vector<TSimNetwork>& networks = {});

// In the instance, on its user-interface thread: a message-only window that applies the command
// lines it is handed to the installed provider's adapters. The engine's wait serves it, as it
// dispatches messages.
class TSimNetshReceiver {
public:
    TSimNetshReceiver();
    ~TSimNetshReceiver();
    TSimNetshReceiver(const TSimNetshReceiver&) = delete;
    TSimNetshReceiver& operator=(const TSimNetshReceiver&) = delete;

private:
    HWND FWindow = nullptr;
};

// In the stand-in: the receiving window of the process that started this one, null when it
// holds none. With sameProgram, also null unless that process runs this very program file
// (started before this one, so not another that took its process ID later).
HWND SimNetshReceiverOfParent(bool sameProgram);
// Hands this command line to that window and answers the exit code it gave, once the time each
// command takes in that simulation has passed; none when the window does not take it.
std::optional<int> SimForwardNetshCommand(HWND receiver, const std::wstring& commandLine);
