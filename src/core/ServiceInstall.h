#pragma once
// Installing Tarnwick for every user of the computer: the program folder, the service that
// switches for users who are not administrators, and the tray started at every logon; and
// taking them away again. Both need an administrator and may be run again and again.
#include <windows.h>

#include <functional>
#include <string>

#include "framework/CustomIniFile.h"

// What an installed Tarnwick is known by and started with.
struct TInstallation {
    std::wstring ServiceName;  // in the service control manager
    std::wstring RunValueName; // the tray's, under HKLM\...\CurrentVersion\Run
    std::wstring FolderName;   // below Program Files
    // The options on the service's command line before --service, and on the tray's after the
    // exe's path; empty for none.
    std::wstring ServiceOptions, TrayOptions;
    // The logon task and the current user's Run value of earlier versions, removed by an
    // install; empty: left alone.
    std::wstring EarlierTaskName, EarlierRunValueName;
};
// The installation of a real copy, or of a simulated one (simulationOptions: the options it
// runs with), which has names of its own and leaves what a real one made alone.
TInstallation InstallationOf(bool simulated, const std::wstring& simulationOptions);
// The command line the service manager starts exe with: the path quoted (it may hold a blank),
// the options, then --service.
std::wstring ServiceCommandLine(const std::wstring& exe, const std::wstring& options);

// What an install or an uninstall did, or why it failed, in the user's words.
struct TInstallOutcome {
    bool Succeeded = false;
    std::wstring Text;
};
// Copies the program into its folder (Config.ini written by writeSettings, or kept when there
// is one), registers the service and the tray's Run value, removes what earlier versions
// started at logon, and starts the service. An installed copy is updated: its service stopped,
// its exe replaced, the service started again. Nothing is left of what a failed install made,
// and its text says so.
TInstallOutcome InstallForAllUsers(const TInstallation& installation,
                                   const std::function<void(TCustomIniFile&)>& writeSettings);
// Stops and deletes the service, removes the Run value and the exe (an exe still running is
// deleted at the next restart), and keeps Config.ini, with its folder. Nothing installed is
// no failure.
TInstallOutcome UninstallForAllUsers(const TInstallation& installation);

// Whether the installed tray starts at every user's logon: its Run value is there.
bool TrayStartsAtLogon(const TInstallation& installation);
// Sets that Run value for the installed exe, or removes it; raises what Windows refused.
void SetTrayStartsAtLogon(const TInstallation& installation, bool on, const std::wstring& exe);
