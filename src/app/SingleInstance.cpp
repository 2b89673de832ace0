#include "app/SingleInstance.h"

#include <shellapi.h>

#include <utility>

#include "framework/MessageWindow.h"

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
} // namespace

std::wstring InstanceName(bool simulated) {
    return simulated ? L"TarnwickSimulated" : L"Tarnwick";
}

std::optional<TInstanceRequest> ParseStartRequest(const std::wstring& commandLine) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc);
    if (!argv) return TInstanceRequest::Show;
    std::optional<TInstanceRequest> request = TInstanceRequest::Show;
    const std::wstring_view flag = L"--switch";
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg = argv[i];
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
    LocalFree(argv);
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
    if (FMutex) return true;
    // Local\: one instance per session. A mutex an elevated instance made cannot be opened by
    // an unelevated start (access denied): that too means another instance runs.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + FName + L"Running").c_str());
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        mutex = nullptr;
    }
    FMutex = mutex;
    if (FMutex && FHandler && !FWindow) Listen(std::move(FHandler));
    return FMutex != nullptr;
}

void TSingleInstance::Release() {
    if (FWindow) DestroyWindow(FWindow);
    FWindow = nullptr;
    if (FMutex) CloseHandle(FMutex);
    FMutex = nullptr;
}

void TSingleInstance::Listen(std::function<int64_t(TInstanceRequest)> handler) {
    FHandler = std::move(handler);
    if (!FMutex || FWindow) return;
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
    return FindWindowExW(HWND_MESSAGE, nullptr, WindowClass(name).c_str(), nullptr) != nullptr;
}

std::optional<int> SendInstanceRequest(const std::wstring& name, TInstanceRequest request,
                                       DWORD waitMs) {
    const ULONGLONG until = GetTickCount64() + waitMs;
    HWND window = nullptr;
    while (!(window = FindWindowExW(HWND_MESSAGE, nullptr, WindowClass(name).c_str(), nullptr))) {
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
