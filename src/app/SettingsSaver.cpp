#include "app/SettingsSaver.h"

#include <windows.h>

#include "core/ProgramFolder.h"
#include "core/ServiceInstall.h"
#include "core/Settings.h"
#include "core/SettingsTransfer.h"
#include "core/WmiEngine.h"
#include "framework/Application.h"
#include "framework/CommandLine.h"
#include "framework/Exception.h"

std::optional<int> RunAsSettingsSaver(const std::wstring& commandLine,
                                      const TSimulationOptions& simulation) {
    if (!HasArgument(commandLine, SaveSettingsOption)) return std::nullopt;
    std::wstring cause;
    try {
        if (!ProcessElevated()) cause = NotElevatedCause;
        // Only into the Config.ini an installed service reads: one elsewhere is anyone's to
        // write, and needs no administrator.
        else if (cause = UnsafeToStartElevatedCause(Application().ExeName()); cause.empty())
            cause = SaveSettingsArguments(commandLine, ConfigIni());
        if (cause.empty())
            Attempt(L"无法设置登录时启动 Tarnwick。", [&] {
                SetTrayStartsAtLogon(
                    InstallationOf(simulation.Enabled, SimulationArguments(simulation)),
                    ConfigIni().ReadBool(L"NET", L"AutoRun", false), Application().ExeName());
            });
    } catch (const std::exception& e) {
        cause = ExceptionMessage(e);
    }
    if (cause.empty()) return 0;
    MessageBoxW(nullptr, (L"无法保存设置。\n" + cause).c_str(), L"Tarnwick", MB_OK | MB_ICONERROR);
    return 1;
}
