// --install and --uninstall started without an administrator's token: the elevated copy is
// asked for through the consent prompt, with this start's own options, and its exit code is
// the answer. The elevated work itself is tested in core.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/ElevatedRestart.h"
#include "app/InstallCommand.h"
#include "core/WmiEngine.h"
#include "framework/Application.h"
#include "support/MessageBoxes.h"
#include "support/Seams.h"

namespace {

// A process that ends with code at once, as the elevated copy would.
HANDLE EndingWith(int code) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
    std::wstring commandLine = L"cmd.exe /c exit " + std::to_wstring(code);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(cmd.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

TEST(InstallCommand, NotElevatedItRunsAnElevatedCopyAndEndsWithItsOutcome) {
    const ScopedSeam<std::function<bool()>> notElevated(&SetProcessElevatedFunction,
                                                        [] { return false; });
    std::vector<std::wstring> boxes, asked;
    const ScopedMessageBoxes recorded = RecordMessageBoxes(boxes);
    int childCode = -1; // the prompt refused
    const ScopedSeam shell(&SetShellExecuteFunction, [&](SHELLEXECUTEINFOW* info) {
        asked.push_back(std::wstring(info->lpVerb) + L"|" + info->lpFile + L"|" +
                        info->lpParameters);
        if (childCode < 0) return FALSE;
        info->hProcess = (info->fMask & SEE_MASK_NOCLOSEPROCESS) ? EndingWith(childCode) : nullptr;
        return TRUE;
    });

    EXPECT_FALSE(RunInstallCommand(L"Tarnwick.exe --switch=A", {}));
    EXPECT_EQ(RunInstallCommand(L"Tarnwick.exe --install --uninstall", {}), 2);
    EXPECT_TRUE(asked.empty());

    EXPECT_EQ(RunInstallCommand(L"Tarnwick.exe --install", {}), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(L"没有获得管理员权限"), std::wstring::npos);
    EXPECT_EQ(RunInstallCommand(L"Tarnwick.exe --uninstall --quiet", {}), 1);
    EXPECT_EQ(boxes.size(), 1u) << "no box with --quiet";

    // The elevated copy says itself what it did: this one shows nothing and ends as it ended.
    childCode = 0;
    EXPECT_EQ(RunInstallCommand(L"Tarnwick.exe --install", {}), 0);
    childCode = 7;
    const TSimulationOptions simulation{true, 20};
    EXPECT_EQ(RunInstallCommand(L"Tarnwick.exe --simulate --simulate-delay=20 --uninstall --quiet "
                                L"\"--evil=a b\"",
                                simulation),
              1);
    EXPECT_EQ(boxes.size(), 1u);
    const std::wstring runas = L"runas|" + Application().ExeName() + L"|";
    EXPECT_EQ(asked, (std::vector<std::wstring>{
                         runas + L"--install", runas + L"--uninstall --quiet", runas + L"--install",
                         runas + L"--simulate --simulate-delay=20 "
                                 L"--uninstall --quiet"}));
}
} // namespace
