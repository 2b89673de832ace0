#include "core/StartupTask.h"

#include <windows.h>
// Defines the Task Scheduler's class and interface ids here: MinGW-w64's uuid library lacks them.
#include <initguid.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Settings.h"
#include "framework/Application.h"
#include "framework/Automation.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"
#include "framework/SystemLibrary.h"

using Microsoft::WRL::ComPtr;

namespace {
// Element content: quotes need no escape there.
std::wstring XmlText(const std::wstring& text) {
    std::wstring escaped;
    for (const wchar_t c : text) {
        switch (c) {
        case L'&':
            escaped += L"&amp;";
            break;
        case L'<':
            escaped += L"&lt;";
            break;
        case L'>':
            escaped += L"&gt;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// The text of the first element of that name in the task's XML, unescaped; none when absent.
std::optional<std::wstring> ElementText(const std::wstring& xml, const std::wstring& element) {
    const std::wstring open = L"<" + element + L">", close = L"</" + element + L">";
    const size_t start = xml.find(open);
    if (start == std::wstring::npos) return std::nullopt;
    const size_t end = xml.find(close, start);
    if (end == std::wstring::npos) return std::nullopt;
    const std::wstring escaped = xml.substr(start + open.size(), end - start - open.size());
    std::wstring text;
    for (size_t i = 0; i < escaped.size(); ++i) {
        bool entity = false;
        for (const auto& [name, c] : {std::pair{L"&quot;", L'"'},
                                      {L"&lt;", L'<'},
                                      {L"&gt;", L'>'},
                                      {L"&amp;", L'&'},
                                      {L"&apos;", L'\''}}) {
            const std::wstring_view n = name;
            if (escaped.compare(i, n.size(), n) != 0) continue;
            text += c;
            i += n.size() - 1;
            entity = true;
            break;
        }
        if (!entity) text += escaped[i];
    }
    return text;
}

TSessionQuery& SessionQueryOverride() {
    static TSessionQuery f;
    return f;
}

std::optional<std::wstring> QuerySession(WTS_INFO_CLASS info) {
    // wtsapi32 is no KnownDLL: from System32 by its path, and not in the import table, where
    // the loader would look for it beside the exe first.
    using QueryFn = decltype(&WTSQuerySessionInformationW);
    using FreeFn = decltype(&WTSFreeMemory);
    static const HMODULE wtsapi = LoadSystemLibrary(L"wtsapi32.dll");
    static const auto query = wtsapi ? reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
                                           GetProcAddress(wtsapi, "WTSQuerySessionInformationW")))
                                     : nullptr;
    static const auto release = wtsapi ? reinterpret_cast<FreeFn>(reinterpret_cast<void*>(
                                             GetProcAddress(wtsapi, "WTSFreeMemory")))
                                       : nullptr;
    if (!query || !release) return std::nullopt;
    wchar_t* text = nullptr;
    DWORD bytes = 0;
    if (!query(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, info, &text, &bytes) || !text)
        return std::nullopt;
    std::wstring answer(text);
    release(text);
    return answer;
}

ComPtr<ITaskFolder> RootFolder() {
    ComPtr<ITaskService> service;
    ComCheck(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&service)));
    const ScopedVariant none;
    ComCheck(service->Connect(none.Get(), none.Get(), none.Get(), none.Get()));
    ComPtr<ITaskFolder> folder;
    ComCheck(service->GetFolder(ScopedBstr(L"\\").Get(), &folder));
    return folder;
}

std::wstring Unquoted(std::wstring path) {
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = path.substr(1, path.size() - 2);
    return path;
}
} // namespace

std::wstring StartupTaskXml(const std::wstring& exePath, const std::wstring& user) {
    const std::wstring folder = exePath.substr(0, exePath.find_last_of(L'\\'));
    return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
           L"<Task version=\"1.2\" "
           L"xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
           L"  <RegistrationInfo><Description>" +
           XmlText(L"登录时以管理员身份启动 " + exePath + L"，使其能够切换 IP 地址。") +
           L"</Description></RegistrationInfo>\n"
           L"  <Triggers><LogonTrigger><Enabled>true</Enabled><UserId>" +
           XmlText(user) +
           L"</UserId></LogonTrigger></Triggers>\n"
           L"  <Principals><Principal id=\"Author\"><UserId>" +
           XmlText(user) +
           L"</UserId><LogonType>InteractiveToken</LogonType>"
           L"<RunLevel>HighestAvailable</RunLevel></Principal></Principals>\n"
           L"  <Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"
           L"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"
           L"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>"
           L"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit><Priority>5</Priority>"
           L"<Enabled>true</Enabled></Settings>\n"
           L"  <Actions Context=\"Author\"><Exec><Command>" +
           XmlText(AutoRunCommand(exePath)) + L"</Command><WorkingDirectory>" + XmlText(folder) +
           L"</WorkingDirectory></Exec></Actions>\n"
           L"</Task>\n";
}

std::wstring CurrentUserName() {
    // From the token, not through secur32, which is no KnownDLL.
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const ScopedHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (!size || !GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size))
        return {};
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) return {};
    return domain[0] ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

TSessionQuery SetSessionQueryFunction(TSessionQuery f) {
    return std::exchange(SessionQueryOverride(), std::move(f));
}

std::wstring SessionUserName() {
    const TSessionQuery& ask =
        SessionQueryOverride() ? SessionQueryOverride() : TSessionQuery(QuerySession);
    const std::optional<std::wstring> name = ask(WTSUserName);
    // A session without a user (a service's) has no one to start the program for.
    if (!name || name->empty()) return CurrentUserName();
    const std::wstring domain = ask(WTSDomainName).value_or(L"");
    return domain.empty() ? *name : domain + L"\\" + *name;
}

std::optional<std::wstring> RegisteredTaskXml(const std::wstring& name) {
    try {
        ComPtr<IRegisteredTask> task;
        if (FAILED(RootFolder()->GetTask(ScopedBstr(name).Get(), &task)) || !task)
            return std::nullopt;
        ScopedBstr xml;
        ComCheck(task->get_Xml(xml.Receive()));
        return xml.Text();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool StartupTaskStarts(const std::wstring& name, const std::wstring& exePath) {
    const std::optional<std::wstring> xml = RegisteredTaskXml(name);
    if (!xml) return false;
    if (const std::optional<std::wstring> command = ElementText(*xml, L"Command"))
        return SameText(Unquoted(*command), exePath);
    // Wine's Task Scheduler keeps no trigger, principal or action of a task it registers, only
    // its description, which names the exe too.
    const std::wstring description = ElementText(*xml, L"Description").value_or(L"");
    return description.find(L" " + exePath + L"，") != std::wstring::npos;
}

void RegisterStartupTask(const std::wstring& name, const std::wstring& exePath) {
    const ComPtr<ITaskFolder> folder = RootFolder();
    // The person who logs on, not the administrator whose credentials elevated this process.
    const std::wstring sessionUser = SessionUserName();
    const ScopedVariant none, user(sessionUser);
    ComPtr<IRegisteredTask> task;
    ComCheck(folder->RegisterTask(ScopedBstr(name).Get(),
                                  ScopedBstr(StartupTaskXml(exePath, sessionUser)).Get(),
                                  TASK_CREATE_OR_UPDATE, user.Get(), none.Get(),
                                  TASK_LOGON_INTERACTIVE_TOKEN, none.Get(), &task));
}

void DeleteStartupTask(const std::wstring& name) {
    const ComPtr<ITaskFolder> folder = RootFolder();
    const HRESULT hr = folder->DeleteTask(ScopedBstr(name).Get(), 0);
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return;
    ComCheck(hr);
}

void SetAutoRunFor(bool on, const std::wstring& exePath) {
    const std::wstring name = Application().Title();
    if (on)
        RegisterStartupTask(name, exePath);
    else
        DeleteStartupTask(name);
    // The Run value of that name is an installed tray's now, and stays.
}

void SetAutoRun(bool on) {
    SetAutoRunFor(on, Application().ExeName());
}

bool AutoRunInPlace() {
    return StartupTaskStarts(Application().Title(), Application().ExeName());
}
