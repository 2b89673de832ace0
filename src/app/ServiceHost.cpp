#include "app/ServiceHost.h"

#include <windows.h>

#include <mutex>

#include "app/SimulatedNetwork.h"
#include "core/NetworkProbe.h"
#include "core/ServiceNames.h"
#include "core/SwitchService.h"
#include "framework/CommandLine.h"
#include "framework/Scoped.h"
#include "wmi/WmiComponent.h"

namespace {
// A stop is answered within this: a switch still waiting on an adapter then ends with the
// process, as at a shutdown.
constexpr DWORD kStopLimitMs = 1500;

// What the service control manager's callbacks share; they carry no context of their own.
struct TServiceRun {
    TSimulationOptions Simulation;
    std::wstring Name;
    SERVICE_STATUS_HANDLE Status = nullptr;
    DWORD CheckPoint = 0;
    ScopedHandle Stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    ScopedHandle Ready{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Set by the service's thread while it serves, read by the control handler.
    std::mutex ServiceLock;
    TSwitchService* Service = nullptr; // guarded by ServiceLock
};
TServiceRun* Run = nullptr;

void Report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHintMs = 0) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING
            ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT
            : 0;
    status.dwWin32ExitCode = exitCode;
    status.dwWaitHint = waitHintMs;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending ? ++Run->CheckPoint : 0;
    SetServiceStatus(Run->Status, &status);
}

DWORD WINAPI Control(DWORD control, DWORD eventType, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        Report(SERVICE_STOP_PENDING, NO_ERROR, kStopLimitMs + 500);
        SetEvent(Run->Stop.Get());
        return NO_ERROR;
    case SERVICE_CONTROL_POWEREVENT:
        if (eventType == PBT_APMSUSPEND) {
            const std::lock_guard<std::mutex> lock(Run->ServiceLock);
            if (Run->Service) Run->Service->PostSuspending();
        }
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void Serving(TSwitchService* service) {
    const std::lock_guard<std::mutex> lock(Run->ServiceLock);
    Run->Service = service;
}

// The service's own thread: its apartment, the switching and a message loop until the stop.
// Answers NO_ERROR, or why it could not serve.
DWORD WINAPI ServiceThread(void*) {
    DWORD result = NO_ERROR;
    // Nothing leaves a thread's body.
    try {
        InitComSecurity();
        StartSimulation(Run->Simulation, TSimulationScope::Machine);
        if (!Run->Simulation.Enabled) SetNetworkProbe(&IpHelperProbe());
        {
            TSwitchService service(ServicePipeNameOf(Run->Simulation.Enabled));
            if (Run->Simulation.Enabled) service.AutoSwitch().SetClock(&SimulatedAwakeMs);
            if (!service.Start()) {
                result = ERROR_PIPE_BUSY;
            } else {
                Serving(&service);
                SetEvent(Run->Ready.Get());
                const HANDLE stop = Run->Stop.Get();
                while (MsgWaitForMultipleObjectsEx(1, &stop, INFINITE, QS_ALLINPUT,
                                                   MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0) {
                    MSG message;
                    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                        TranslateMessage(&message);
                        DispatchMessageW(&message);
                    }
                }
                Serving(nullptr);
            }
        }
        StopSimulation();
    } catch (...) {
        result = ERROR_SERVICE_SPECIFIC_ERROR;
    }
    return result;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    Run->Status = RegisterServiceCtrlHandlerExW(Run->Name.c_str(), &Control, nullptr);
    if (!Run->Status) return;
    Report(SERVICE_START_PENDING, NO_ERROR, 3000);
    const ScopedHandle thread(CreateThread(nullptr, 0, &ServiceThread, nullptr, 0, nullptr));
    if (!thread) return Report(SERVICE_STOPPED, GetLastError());
    // Running once the pipe serves: the watcher's first subscription may take longer (at boot
    // WMI may not be ready) and goes on by itself.
    const HANDLE started[] = {Run->Ready.Get(), thread.Get()};
    if (WaitForMultipleObjects(2, started, FALSE, INFINITE) != WAIT_OBJECT_0) {
        DWORD code = ERROR_SERVICE_SPECIFIC_ERROR;
        GetExitCodeThread(thread.Get(), &code);
        return Report(SERVICE_STOPPED, code);
    }
    Report(SERVICE_RUNNING);
    WaitForSingleObject(Run->Stop.Get(), INFINITE);
    const bool ended = WaitForSingleObject(thread.Get(), kStopLimitMs) == WAIT_OBJECT_0;
    Report(SERVICE_STOPPED);
    // A switch still waiting on an adapter is cut off, as a shutdown cuts it off.
    if (!ended) TerminateProcess(GetCurrentProcess(), 0);
}
} // namespace

std::optional<int> RunAsService(const std::wstring& commandLine,
                                const TSimulationOptions& simulation) {
    if (!HasArgument(commandLine, L"--service")) return std::nullopt;
    TServiceRun run;
    run.Simulation = simulation;
    run.Name = ServiceName(simulation.Enabled);
    Run = &run;
    const ScopeExit forget([] { Run = nullptr; });
    SERVICE_TABLE_ENTRYW table[] = {{run.Name.data(), &ServiceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherW(table)) return 0;
    if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return 1;
    MessageBoxW(nullptr,
                L"“--service”只供服务控制管理器启动 Tarnwick 服务时使用。\n"
                L"要为所有用户安装 Tarnwick，请运行“Tarnwick.exe --install”。",
                L"Tarnwick", MB_OK | MB_ICONERROR);
    return 2;
}
