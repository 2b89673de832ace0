#include "app/ExitWhenIdle.h"

#include <windows.h>

#include <string_view>

#include "core/Settings.h"
#include "framework/Application.h"
#include "framework/CommandLine.h"
#include "framework/Form.h"
#include "framework/StartFigures.h"

std::optional<std::wstring> ParseExitWhenIdle(const std::wstring& commandLine) {
    const std::vector<std::wstring> args = CommandLineArguments(commandLine);
    const std::wstring_view flag = L"--exit-when-idle";
    std::optional<std::wstring> file;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring_view arg = args[i];
        if (arg.substr(0, flag.size()) != flag) continue;
        file = arg.size() > flag.size() && arg[flag.size()] == L'='
                   ? std::wstring(arg.substr(flag.size() + 1))
                   : std::wstring();
        // A name, not a path: the file lies beside the exe, never where the caller points.
        if (file->find_first_of(L"\\/:") != std::wstring::npos || *file == L"." || *file == L"..")
            file->clear();
    }
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
        WriteStartFigures(ExecutableFolder() + figures);
        application.Terminate();
    };
}
