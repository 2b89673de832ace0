#pragma once
// The names an installed Tarnwick is known by. Simulation mode has names of its own for each,
// so that a simulated install never touches a real one.
#include <string>

// The service's name in the service control manager.
inline std::wstring ServiceName(bool simulated) {
    return simulated ? L"TarnwickSimulation" : L"Tarnwick";
}
// The pipe the service serves and the trays ask.
inline std::wstring ServicePipeNameOf(bool simulated) {
    return simulated ? L"\\\\.\\pipe\\TarnwickSimulation" : L"\\\\.\\pipe\\Tarnwick";
}
// The value under HKLM\Software\Microsoft\Windows\CurrentVersion\Run that starts the tray at
// every user's logon.
inline std::wstring TrayRunValueName(bool simulated) {
    return simulated ? L"TarnwickSimulation" : L"Tarnwick";
}
// The folder below Program Files the program is installed in.
inline std::wstring ProgramFolderName(bool simulated) {
    return simulated ? L"TarnwickSimulation" : L"Tarnwick";
}
