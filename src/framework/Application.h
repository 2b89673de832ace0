#pragma once
// The application object: title, start-up steps, the message loop, message boxes and the
// standard error box for an exception that escapes an event handler.
#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/Component.h"
#include "framework/Scoped.h"

class TForm;

// Waits until handle is signalled (nullptr: until the time has passed) or milliseconds have
// passed, dispatching the thread's messages meanwhile as a cross-process COM call does, so its
// windows keep answering. A WM_QUIT met is posted again for the loop that owns the thread.
// Answers whether the handle was signalled.
bool WaitDispatchingMessages(HANDLE handle, DWORD milliseconds);

// It owns the program's forms; Finalize() destroys them before the process ends.
class TApplication : public TComponent {
public:
    // Start-up steps run by Initialize(), in the order they were chained.
    void ChainStartup(std::function<void()> step);
    void Initialize();

    const std::wstring& Title() const { return FTitle; }
    void SetTitle(std::wstring title) { FTitle = std::move(title); }
    HINSTANCE Instance() const;
    // Full path of the running executable.
    std::wstring ExeName() const;

    // Creates a form owned by the application; the first one becomes the main form. A form
    // created while the first one is still being constructed (a dialog its creation handler
    // opens) does not: its destruction would otherwise end the program.
    template <typename T, typename... Args> T* CreateForm(Args&&... args) {
        const bool main = !FMainForm && !FCreatingMainForm;
        if (!main) return Own<T>(std::forward<Args>(args)...);
        FCreatingMainForm = true;
        const ScopeExit reset([this] { FCreatingMainForm = false; });
        T* form = Own<T>(std::forward<Args>(args)...);
        FMainForm = form;
        return form;
    }
    void Finalize();
    TForm* MainForm() const { return FMainForm; }
    void SetMainForm(TForm* form) { FMainForm = form; }
    // Runs the message loop until the main form has closed or Terminate() was called.
    void Run();
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // Dispatches the messages that are waiting, once, and returns.
    void ProcessMessages();
    // Handles one message; answers false when the loop should end.
    bool HandleMessage();
    // Runs in every message loop of the thread (modal ones too) when no message waits, before
    // the loop sleeps.
    std::function<void()> OnIdle;

    // A modal message box with the title as caption; answers the button chosen.
    int MessageBox(const std::wstring& text, UINT flags = MB_OK);
    // The standard error box: the error's text, the title as caption, OK.
    void ShowException(const std::exception& e);
    // Shows the exception in flight; call from inside a catch block only.
    void HandleException();

    // Tests replace the box itself to see what the program says; answers the one replaced.
    using MessageBoxFunction =
        std::function<int(const std::wstring& text, const std::wstring& caption, UINT flags)>;
    MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction f) {
        return std::exchange(FMessageBox, std::move(f));
    }

private:
    bool DispatchOne(MSG& msg);

    std::wstring FTitle;
    std::vector<std::function<void()>> FStartup;
    TForm* FMainForm = nullptr;
    bool FCreatingMainForm = false;
    bool FTerminated = false;
    MessageBoxFunction FMessageBox;
};

TApplication& Application();

// Runs an event handler at a boundary the exception must not cross: a window procedure,
// a timer, a callback. What escapes is shown by the standard error box.
template <typename F> void GuardedCall(F&& handler) {
    try {
        handler();
    } catch (...) {
        Application().HandleException();
    }
}
