// A service that does what the service manager asks and no more: it reports running at once
// and stops when told. It holds its own image as Tarnwick does, so an update that did not stop
// it first cannot replace its exe.
#include <windows.h>

namespace {
SERVICE_STATUS_HANDLE Status;
HANDLE Stop;

void Report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    if (state == SERVICE_RUNNING)
        status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    SetServiceStatus(Status, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(Stop);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
    Status = RegisterServiceCtrlHandlerExW(argc ? argv[0] : L"", Control, nullptr);
    if (!Status) return;
    Report(SERVICE_RUNNING);
    WaitForSingleObject(Stop, INFINITE);
    Report(SERVICE_STOPPED);
}
} // namespace

int wmain() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const HANDLE image = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    Stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(L""), ServiceMain}, {nullptr, nullptr}};
    const BOOL served = StartServiceCtrlDispatcherW(table);
    CloseHandle(image);
    return served ? 0 : 1;
}
