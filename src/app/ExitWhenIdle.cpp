#include "app/ExitWhenIdle.h"

#include <windows.h>
#include <shellapi.h>

#include <string_view>

#include "framework/Application.h"
#include "framework/Form.h"
#include "framework/StartFigures.h"

std::optional<std::wstring> ParseExitWhenIdle(const std::wstring& commandLine) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc);
    if (!argv) return std::nullopt;
    const std::wstring_view flag = L"--exit-when-idle";
    std::optional<std::wstring> file;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg = argv[i];
        if (arg.substr(0, flag.size()) != flag) continue;
        file = arg.size() > flag.size() && arg[flag.size()] == L'='
                   ? std::wstring(arg.substr(flag.size() + 1))
                   : std::wstring();
    }
    LocalFree(argv);
    return file;
}

void ExitWhenIdle(const std::wstring& file, const bool& mainLoopRunning) {
    TApplication& app = Application();
    app.SetMessageBoxFunction([](const std::wstring&, const std::wstring&, UINT) { return IDOK; });
    app.OnIdle = [&app, file, &mainLoopRunning] {
        TForm* main = app.MainForm();
        const TForm* active = TForm::FromHandle(GetActiveWindow());
        const bool inDialog = active && active != main;
        const bool inTray = mainLoopRunning && main && main->HandleAllocated() && !main->Visible();
        if (!inDialog && !inTray) return;
        // Once: the loops that end after this one pass idle too. Clearing the handler ends this
        // closure's captures, so what it needs is taken first.
        const std::wstring figures = file;
        TApplication& application = app;
        application.OnIdle = nullptr;
        WriteStartFigures(figures);
        application.Terminate();
    };
}
