#include "app/Simulation.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "core/NetshEngine.h"
#include "core/Settings.h"
#include "framework/Strings.h"
#include "sim/SimProvider.h"

TSimulationOptions ParseSimulationOptions(const std::wstring& commandLine) {
    TSimulationOptions options;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc);
    const std::wstring delayFlag = L"--simulate-delay=";
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--simulate") options.Enabled = true;
        if (arg.rfind(delayFlag, 0) == 0) {
            options.Enabled = true;
            options.DelayMs = static_cast<unsigned>(_wtoi(arg.c_str() + delayFlag.size()));
        }
    }
    LocalFree(argv);
    return options;
}

void StartSimulation(const TSimulationOptions& options) {
    if (!options.Enabled) return;
    TSimProvider& sim = TSimProvider::Install();
    sim.SetDelay(options.DelayMs);
    const std::wstring log = ExecutableFolder() + L"simulated-network.log";
    // netsh is the stand-in beside the executable; it appends its command lines to the same log.
    SetNetshProgram(ExecutableFolder() + L"simulated-netsh.exe");
    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_LOG", log.c_str());
    sim.OnCall = [log](const TSimCall& call) {
        // Opened per line, so a person can watch the file while the program runs.
        if (FILE* f = _wfopen(log.c_str(), L"ab")) {
            const std::string line = ToUtf8(TSimProvider::Describe(call)) + "\r\n";
            fwrite(line.data(), 1, line.size(), f);
            fclose(f);
        }
    };
}

void StopSimulation() {
    if (TSimProvider::Installed()) TSimProvider::Uninstall();
}
