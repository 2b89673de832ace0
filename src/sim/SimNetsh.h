#pragma once
// The netsh of simulation mode. The stand-in process (Tarnwick.exe started as netsh, or a test's
// fake) hands its command line to the simulated instance that started it; the instance applies
// it to its simulated adapters as Windows' netsh would and answers netsh's exit code. So a
// switch through netsh changes the simulated adapters, and reading them back tells the truth.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/SimAdapter.h"

// Given by the instance to the processes it starts: the window that takes the command lines.
constexpr wchar_t SimNetshWindowVariable[] = L"TARNWICK_SIMULATED_NETSH_WINDOW";

// Applies one "netsh interface ip ..." command line to the adapters; answers netsh's exit
// code: 0 done; 1 for what Windows' netsh refuses, among them DHCP asked for where it is
// already on ("DHCP is already enabled on this interface."), an unknown connection name and a
// malformed address.
int SimApplyNetshCommand(std::vector<TSimAdapter>& adapters, const std::wstring& commandLine);

// In the instance, on its user-interface thread: a message-only window that applies the command
// lines it is handed to the installed provider's adapters, named in SimNetshWindowVariable for
// the processes started from now on. The engine's wait serves it, as it dispatches messages.
class TSimNetshReceiver {
public:
    TSimNetshReceiver();
    ~TSimNetshReceiver();
    TSimNetshReceiver(const TSimNetshReceiver&) = delete;
    TSimNetshReceiver& operator=(const TSimNetshReceiver&) = delete;

private:
    HWND FWindow = nullptr;
};

// In the stand-in: hands this command line to the instance named in its environment and
// answers the exit code it gave; none when no instance takes it.
std::optional<int> SimForwardNetshCommand(const std::wstring& commandLine);
