#include "app/InstallCommand.h"

#include <windows.h>

#include "app/ElevatedRestart.h"
#include "core/ServiceInstall.h"
#include "core/Settings.h"
#include "core/WmiEngine.h"
#include "framework/Application.h"
#include "framework/CommandLine.h"
#include "framework/Exception.h"
#include "wmi/WmiComponent.h"

std::optional<int> RunInstallCommand(const std::wstring& commandLine,
                                     const TSimulationOptions& simulation) {
    bool install = false, uninstall = false, quiet = false;
    for (const std::wstring& arg : CommandLineArguments(commandLine)) {
        install = install || arg == L"--install";
        uninstall = uninstall || arg == L"--uninstall";
        quiet = quiet || arg == L"--quiet";
    }
    if (!install && !uninstall) return std::nullopt;
    if (install && uninstall) return 2;
    TInstallOutcome outcome;
    if (!ProcessElevated()) {
        // The elevated copy gets this start's options, rebuilt, and says itself what it did.
        const std::wstring parameters =
            std::wstring(install ? L"--install" : L"--uninstall") + (quiet ? L" --quiet" : L"");
        if (const std::optional<DWORD> code = RunElevatedCopy(simulation, parameters, nullptr))
            return *code == 0 ? 0 : 1;
        outcome.Text = install ? L"没有获得管理员权限，未安装 Tarnwick。"
                               : L"没有获得管理员权限，未卸载 Tarnwick。";
    } else {
        try {
            // Task Scheduler, which removes an earlier version's logon task, is reached by COM,
            // set up as the tray sets it up.
            InitComSecurity();
            const TInstallation installation =
                InstallationOf(simulation.Enabled, SimulationArguments(simulation));
            outcome = install ? InstallForAllUsers(installation, CopySettingsTo)
                              : UninstallForAllUsers(installation);
        } catch (const std::exception& e) {
            outcome = {false, ExceptionMessage(e)};
        }
    }
    if (!quiet)
        Application().MessageBox(outcome.Text,
                                 MB_OK | (outcome.Succeeded ? MB_ICONINFORMATION : MB_ICONERROR));
    return outcome.Succeeded ? 0 : 1;
}
