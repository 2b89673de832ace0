#include "app/ElevatedRestart.h"

#include <utility>

#include "framework/Application.h"

namespace {
std::function<BOOL(SHELLEXECUTEINFOW*)>& ShellExecuteOverride() {
    static std::function<BOOL(SHELLEXECUTEINFOW*)> f;
    return f;
}

// One argument as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring text = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, L'\\');
    return text + L"\"";
}
// Starts exe in its own folder through the shell, with that verb (nullptr: its default).
bool ShellStart(const wchar_t* verb, const std::wstring& exe, const std::wstring& parameters) {
    const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\') + 1);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = verb;
    info.lpFile = exe.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteOverride() ? ShellExecuteOverride()(&info) : ShellExecuteExW(&info);
}
} // namespace

std::wstring StartOptions(const std::wstring& commandLine) {
    std::wstring parameters;
    int argc = 0;
    if (wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc)) {
        for (int i = 1; i < argc; ++i) {
            const std::wstring arg = argv[i];
            if (arg.rfind(L"--switch", 0) == 0) continue;
            parameters += Quoted(arg) + L" ";
        }
        LocalFree(argv);
    }
    return parameters;
}

std::wstring ElevatedCopyParameters(const std::wstring& commandLine, const std::wstring& profile) {
    return StartOptions(commandLine) + L"--switch=" + profile;
}

bool StartElevatedCopy(const std::wstring& profile) {
    // The prompt refused: ERROR_CANCELLED, nothing to say.
    return ShellStart(L"runas", Application().ExeName(),
                      ElevatedCopyParameters(GetCommandLineW(), profile));
}

std::function<BOOL(SHELLEXECUTEINFOW*)>
SetShellExecuteFunction(std::function<BOOL(SHELLEXECUTEINFOW*)> f) {
    return std::exchange(ShellExecuteOverride(), std::move(f));
}

bool StartProgram(const std::wstring& exePath) {
    // Simulation mode stays simulation mode.
    return ShellStart(nullptr, exePath, StartOptions(GetCommandLineW()));
}
