#include "app/SingleInstance.h"

#include <utility>
#include <vector>

#include "core/ProgramFolder.h"
#include "core/WmiEngine.h"
#include "framework/CommandLine.h"
#include "framework/MessageWindow.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"

namespace {
// WM_COPYDATA's tag, and the payload's first field: both must match.
constexpr ULONG_PTR kRequestTag = 0x5457494E;  // "TWIN"
constexpr uint32_t kRequestMagic = 0x54575251; // "TWRQ"
struct TRequestPayload {
    uint32_t Magic;
    uint32_t Request;
};
// SendMessage's answers: 0 is what it gives when nobody took the message.
constexpr LRESULT kDone = 1, kFailed = 2;
// A switch behind the request may show its failure box and wait for the user.
constexpr UINT kSwitchTimeoutMs = 10 * 60 * 1000;

std::wstring WindowClass(const std::wstring& name) {
    return name + L"Instance";
}

std::function<bool(HANDLE)>& InstanceElevatedOverride() {
    static std::function<bool(HANDLE)> f;
    return f;
}

bool InstanceElevated(HANDLE process) {
    return InstanceElevatedOverride() ? InstanceElevatedOverride()(process)
                                      : TokenElevated(process);
}

// The first window of the instance's class that TrustedInstanceWindow passes. Each is looked
// at: another program's window of the class may come first.
HWND TrustedWindowOf(const std::wstring& name) {
    const std::wstring windowClass = WindowClass(name);
    for (HWND window = nullptr;
         (window = FindWindowExW(HWND_MESSAGE, window, windowClass.c_str(), nullptr));)
        if (TrustedInstanceWindow(window)) return window;
    return nullptr;
}
} // namespace

std::wstring InstanceName(bool simulated) {
    return simulated ? L"TarnwickSimulated" : L"Tarnwick";
}

std::optional<TInstanceRequest> ParseStartRequest(const std::wstring& commandLine) {
    const std::vector<std::wstring> args = CommandLineArguments(commandLine);
    std::optional<TInstanceRequest> request = TInstanceRequest::Show;
    const std::wstring_view flag = L"--switch";
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring_view arg = args[i];
        if (arg.substr(0, flag.size()) != flag) continue;
        const std::wstring_view value = arg.substr(flag.size());
        if (value == L"=A")
            request = TInstanceRequest::SwitchToA;
        else if (value == L"=B")
            request = TInstanceRequest::SwitchToB;
        else
            request = std::nullopt;
        if (!request) break;
    }
    return request;
}

std::wstring RequestedProfile(TInstanceRequest request) {
    if (request == TInstanceRequest::SwitchToA) return L"A";
    if (request == TInstanceRequest::SwitchToB) return L"B";
    return {};
}

std::optional<TInstanceRequest> InstanceRequestOf(const COPYDATASTRUCT* data) {
    if (!data || data->dwData != kRequestTag || data->cbData != sizeof(TRequestPayload) ||
        !data->lpData)
        return std::nullopt;
    TRequestPayload payload;
    memcpy(&payload, data->lpData, sizeof payload);
    if (payload.Magic != kRequestMagic) return std::nullopt;
    switch (payload.Request) {
    case static_cast<uint32_t>(TInstanceRequest::Show):
    case static_cast<uint32_t>(TInstanceRequest::SwitchToA):
    case static_cast<uint32_t>(TInstanceRequest::SwitchToB):
        return static_cast<TInstanceRequest>(payload.Request);
    default:
        return std::nullopt;
    }
}

TSingleInstance::TSingleInstance(const std::wstring& name) : FName(name) {
    Claim();
}

TSingleInstance::~TSingleInstance() {
    Release();
}

bool TSingleInstance::Claim() {
    if (FFirst) return true;
    // Local\: one instance per session. A mutex an elevated instance made cannot be opened by
    // an unelevated start (access denied): that too means another instance runs.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + FName + L"Running").c_str());
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        mutex = nullptr;
    }
    FMutex = mutex;
    // Taken over once, the mutex may still be another program's: then the instance is this one
    // unless a Tarnwick it trusts listens now.
    FFirst = FMutex || (FTakenOver && !InstanceListening(FName));
    if (FFirst && FHandler && !FWindow) Listen(std::move(FHandler));
    return FFirst;
}

std::optional<int> TSingleInstance::HandRequestOver(TInstanceRequest request, DWORD waitMs) {
    if (const std::optional<int> answer = SendInstanceRequest(FName, request, waitMs))
        return answer;
    // Whatever holds the names, it is nothing an elevated copy may leave its work to.
    if (!ProcessElevated()) return request == TInstanceRequest::Show ? 0 : 1;
    FTakenOver = true;
    FFirst = true;
    return std::nullopt;
}

void TSingleInstance::Release() {
    if (FWindow) DestroyWindow(FWindow);
    FWindow = nullptr;
    if (FMutex) CloseHandle(FMutex);
    FMutex = nullptr;
    FFirst = false;
}

void TSingleInstance::Listen(std::function<int64_t(TInstanceRequest)> handler) {
    FHandler = std::move(handler);
    if (!FFirst || FWindow) return;
    FWindow = CreateMessageWindow(WindowClass(FName).c_str(), &WindowProc);
    if (!FWindow) return;
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // An unelevated start may ask an elevated instance: only the message that carries the
    // requests passes the filter.
    ChangeWindowMessageFilterEx(FWindow, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
}

LRESULT CALLBACK TSingleInstance::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
    auto* self = reinterpret_cast<TSingleInstance*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    const std::optional<TInstanceRequest> request =
        InstanceRequestOf(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    if (!self || !request || !self->FHandler) return 0;
    // Copied: the handler may end the instance.
    const auto handler = self->FHandler;
    try {
        return handler(*request) == 0 ? kDone : kFailed;
    } catch (...) {
        return kFailed;
    }
}

bool InstanceListening(const std::wstring& name) {
    return TrustedWindowOf(name) != nullptr;
}

bool TrustedInstanceWindow(HWND window) {
    DWORD id = 0;
    if (!GetWindowThreadProcessId(window, &id)) return false;
    const ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    // Asked again with the process held open: its id cannot have passed to another meanwhile.
    DWORD again = 0;
    if (!process || !GetWindowThreadProcessId(window, &again) || again != id) return false;
    if (ProcessElevated() && !InstanceElevated(process.Get())) return false;
    const std::wstring image = ProcessImagePath(process.Get());
    if (image.empty()) return false;
    if (SameText(image, ProcessImagePath(GetCurrentProcess()))) return true;
    const size_t slash = image.find_last_of(L"\\/");
    return SameText(image.substr(slash + 1), L"Tarnwick.exe") &&
           UnsafeToStartElevatedCause(image).empty();
}

std::function<bool(HANDLE)> SetInstanceElevatedFunction(std::function<bool(HANDLE)> f) {
    return std::exchange(InstanceElevatedOverride(), std::move(f));
}

std::optional<int> SendInstanceRequest(const std::wstring& name, TInstanceRequest request,
                                       DWORD waitMs) {
    const ULONGLONG until = GetTickCount64() + waitMs;
    HWND window = nullptr;
    while (!(window = TrustedWindowOf(name))) {
        if (GetTickCount64() >= until) return std::nullopt;
        Sleep(50);
    }
    // The user started this process: it may hand the right to come to the front on.
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    AllowSetForegroundWindow(process);
    TRequestPayload payload{kRequestMagic, static_cast<uint32_t>(request)};
    COPYDATASTRUCT data{kRequestTag, sizeof payload, &payload};
    DWORD_PTR answer = 0;
    // A hung instance is not waited for: without SMTO_ABORTIFHUNG the whole time limit passes.
    // An instance that ended meanwhile (handing over to an elevated copy) took nothing.
    if (!SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                             SMTO_ABORTIFHUNG, kSwitchTimeoutMs, &answer))
        return IsWindow(window) ? std::optional<int>(InstanceNotAnswering) : std::nullopt;
    if (answer == 0) return std::nullopt;
    return answer == kDone ? 0 : 1;
}
