#include "framework/Application.h"

#include <commctrl.h>

#include "framework/Exception.h"
#include "framework/Form.h"

TApplication& Application() {
    static TApplication application;
    return application;
}

void TApplication::ChainStartup(std::function<void()> step) {
    FStartup.push_back(std::move(step));
}

void TApplication::Initialize() {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_ANIMATE_CLASS};
    InitCommonControlsEx(&controls);
    for (auto& step : FStartup)
        step();
}

void TApplication::Finalize() {
    DestroyComponents();
    FMainForm = nullptr;
}

HINSTANCE TApplication::Instance() const {
    return GetModuleHandleW(nullptr);
}

std::wstring TApplication::ExeName() const {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool TApplication::DispatchOne(MSG& msg) {
    if (msg.message == WM_QUIT) {
        FTerminated = true;
        return false;
    }
    // Keyboard navigation of dialogs (Tab, arrows, Alt+mnemonics) for the form that has it.
    HWND active = GetActiveWindow();
    if (TForm* form = TForm::FromHandle(active);
        form && form->DialogNavigation() &&
        (form->DialogKey(msg) || IsDialogMessageW(active, &msg)))
        return true;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

bool TApplication::HandleMessage() {
    MSG msg;
    if (OnIdle && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) OnIdle();
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
        FTerminated = true;
        return false;
    }
    return DispatchOne(msg);
}

void TApplication::Run() {
    while (!FTerminated && FMainForm && FMainForm->HandleAllocated()) {
        if (!HandleMessage()) break;
    }
}

void TApplication::Terminate() {
    FTerminated = true;
    PostQuitMessage(0);
}

bool WaitDispatchingMessages(HANDLE handle, DWORD milliseconds) {
    const ULONGLONG until = GetTickCount64() + milliseconds;
    const DWORD handles = handle ? 1 : 0;
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = milliseconds == INFINITE ? INFINITE
                           : now >= until           ? 0
                                                    : static_cast<DWORD>(until - now);
        // After a WM_QUIT only sent messages are served: the loop that owns the thread ends.
        const DWORD woke = MsgWaitForMultipleObjects(handles, &handle, FALSE, left,
                                                     quit ? QS_SENDMESSAGE : QS_ALLINPUT);
        if (handles && woke == WAIT_OBJECT_0) break;
        if (woke == WAIT_TIMEOUT || woke == WAIT_FAILED) break;
        MSG msg;
        const UINT remove = quit ? PM_REMOVE | PM_QS_SENDMESSAGE : PM_REMOVE;
        while (PeekMessageW(&msg, nullptr, 0, 0, remove)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(msg.wParam);
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (quit) PostQuitMessage(quitCode);
    return handles && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!DispatchOne(msg)) {
            // Leave the quit for the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
    }
}

int TApplication::MessageBox(const std::wstring& text, UINT flags) {
    if (FMessageBox) return FMessageBox(text, FTitle, flags);
    HWND owner = GetActiveWindow();
    return ::MessageBoxW(owner, text.c_str(), FTitle.c_str(), flags | (owner ? 0 : MB_TASKMODAL));
}

void TApplication::ShowException(const std::exception& e) {
    MessageBox(ExceptionMessage(e), MB_OK | MB_ICONERROR);
}

void TApplication::HandleException() {
    try {
        throw;
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException(Exception(L"Unknown error"));
    }
}
