#include "framework/CommandLine.h"

#include <algorithm>

#include <windows.h>
#include <shellapi.h>

#include "framework/Scoped.h"

std::vector<std::wstring> CommandLineArguments(const std::wstring& commandLine) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc);
    if (!argv) return {};
    const ScopeExit release([argv] { LocalFree(argv); });
    return std::vector<std::wstring>(argv, argv + argc);
}

bool HasArgument(const std::wstring& commandLine, std::wstring_view arg) {
    const std::vector<std::wstring> args = CommandLineArguments(commandLine);
    return args.size() > 1 && std::find(args.begin() + 1, args.end(), arg) != args.end();
}

std::wstring QuotedArgument(std::wstring_view arg, bool always) {
    if (!always && !arg.empty() && arg.find_first_of(L" \t\"") == std::wstring_view::npos)
        return std::wstring(arg);
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
    // Before the closing quote, backslashes are doubled so that it stays a closing quote.
    text.append(2 * backslashes, L'\\');
    return text + L"\"";
}

bool StartProcess(const std::wstring& application, const std::wstring& commandLine,
                  const std::wstring& folder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION created{};
    std::wstring line = commandLine; // CreateProcessW may write into it
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &created))
        return false;
    // Nothing to wait for: both handles are closed at once.
    const ScopedHandle thread(created.hThread), process(created.hProcess);
    return true;
}

std::wstring ProcessImagePath(HANDLE process) {
    std::wstring path(32768, L'\0'); // the longest path Windows gives
    DWORD size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process, 0, path.data(), &size)) return {};
    path.resize(size);
    return path;
}
