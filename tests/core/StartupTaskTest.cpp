// Start with Windows through Task Scheduler: the task's definition, and its registration,
// reading back and deletion through Wine's own Task Scheduler service.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "core/StartupTask.h"
#include "framework/Application.h"
#include "support/Seams.h"

namespace {

// The text of the first element of that name.
std::wstring Element(const std::wstring& xml, const std::wstring& name) {
    const size_t start = xml.find(L"<" + name + L">");
    const size_t end = xml.find(L"</" + name + L">");
    if (start == std::wstring::npos || end == std::wstring::npos) return L"(none)";
    return xml.substr(start + name.size() + 2, end - start - name.size() - 2);
}

TEST(StartupTask, RunsTheExeElevatedAtTheUsersLogonWithNoLimit) {
    const std::wstring xml =
        StartupTaskXml(L"C:\\Program Files\\Tarnwick & Co\\Tarnwick.exe", L"OFFICE\\li");
    const std::wstring trigger = Element(xml, L"Triggers");
    EXPECT_NE(trigger.find(L"<LogonTrigger>"), std::wstring::npos) << "at logon";
    EXPECT_EQ(Element(trigger, L"UserId"), L"OFFICE\\li") << "of this user";
    const std::wstring principal = Element(xml, L"Principals");
    EXPECT_EQ(Element(principal, L"RunLevel"), L"HighestAvailable");
    EXPECT_EQ(Element(principal, L"LogonType"), L"InteractiveToken");
    EXPECT_EQ(Element(xml, L"Command"), L"\"C:\\Program Files\\Tarnwick &amp; Co\\Tarnwick.exe\"")
        << "quoted for its blanks, escaped for XML";
    EXPECT_EQ(Element(xml, L"WorkingDirectory"), L"C:\\Program Files\\Tarnwick &amp; Co");
    EXPECT_EQ(Element(xml, L"ExecutionTimeLimit"), L"PT0S") << "runs as long as the session";
    EXPECT_EQ(Element(xml, L"DisallowStartIfOnBatteries"), L"false");
    EXPECT_EQ(Element(xml, L"StopIfGoingOnBatteries"), L"false");
    EXPECT_EQ(Element(xml, L"MultipleInstancesPolicy"), L"IgnoreNew");
    EXPECT_EQ(Element(xml, L"Priority"), L"5") << "an interactive program's, not below normal";
    EXPECT_EQ(Element(StartupTaskXml(L"C:\\Tools\\Tarnwick.exe", L"u"), L"Command"),
              L"C:\\Tools\\Tarnwick.exe");
    EXPECT_NE(CurrentUserName().find(L'\\'), std::wstring::npos) << "DOMAIN\\name";
}

TEST(StartupTask, IsForTheSessionsUserAlsoWhenAnAdministratorsCredentialsElevatedIt) {
    // Asked of Windows: the session of this process has a user.
    EXPECT_FALSE(SessionUserName().empty());

    // Over the shoulder: the token names the administrator, the session the person at the
    // keyboard, whose logon is to start the program.
    std::map<WTS_INFO_CLASS, std::optional<std::wstring>> session{{WTSUserName, L"li"},
                                                                  {WTSDomainName, L"OFFICE"}};
    std::vector<WTS_INFO_CLASS> asked;
    const ScopedSeam seam(&SetSessionQueryFunction, [&](WTS_INFO_CLASS info) {
        asked.push_back(info);
        return session[info];
    });
    EXPECT_EQ(SessionUserName(), L"OFFICE\\li");
    session[WTSDomainName] = L"";
    EXPECT_EQ(SessionUserName(), L"li");
    // A session that cannot be asked, or has no user: the token's user.
    for (const std::optional<std::wstring>& none : {std::optional<std::wstring>(), {L""}}) {
        session[WTSUserName] = none;
        EXPECT_EQ(SessionUserName(), CurrentUserName());
    }

    // Registering asks the session. Wine keeps no principal, so the user it was registered for
    // cannot be read back here.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    session = {{WTSUserName, L"li"}, {WTSDomainName, L"OFFICE"}};
    asked.clear();
    const std::wstring name = L"TarnwickTest" + std::to_wstring(GetCurrentProcessId());
    RegisterStartupTask(name, L"C:\\Program Files\\Tarnwick\\Tarnwick.exe");
    DeleteStartupTask(name);
    EXPECT_NE(std::find(asked.begin(), asked.end(), WTSUserName), asked.end());
    CoUninitialize();
}

TEST(StartupTask, IsRegisteredReadBackAndDeletedThroughTaskScheduler) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring name = L"TarnwickTest" + std::to_wstring(GetCurrentProcessId());
    const std::wstring exe = L"C:\\Program Files\\Tarnwick\\Tarnwick.exe";
    RegisterStartupTask(name, exe);
    EXPECT_TRUE(StartupTaskStarts(name, exe));
    // Read back. Wine keeps the settings but drops the trigger, the principal and the action
    // (Windows keeps them all): what it keeps must have come through as sent.
    const std::wstring xml = RegisteredTaskXml(name).value_or(L"");
    EXPECT_EQ(Element(xml, L"ExecutionTimeLimit"), L"PT0S");
    EXPECT_EQ(Element(xml, L"DisallowStartIfOnBatteries"), L"false");
    EXPECT_EQ(Element(xml, L"StopIfGoingOnBatteries"), L"false");
    EXPECT_EQ(Element(xml, L"MultipleInstancesPolicy"), L"IgnoreNew");
    EXPECT_EQ(Element(xml, L"Priority"), L"5");
    if (xml.find(L"<Command>") != std::wstring::npos) {
        EXPECT_EQ(Element(xml, L"RunLevel"), L"HighestAvailable");
        EXPECT_NE(xml.find(L"<LogonTrigger>"), std::wstring::npos);
        EXPECT_EQ(Element(xml, L"Command"), L"\"" + exe + L"\"");
        EXPECT_EQ(Element(xml, L"WorkingDirectory"), L"C:\\Program Files\\Tarnwick");
    }
    EXPECT_FALSE(StartupTaskStarts(name, L"C:\\Program Files\\Other\\Tarnwick.exe"));
    // Registering again replaces it.
    RegisterStartupTask(name, L"C:\\Program Files\\Other\\Tarnwick.exe");
    EXPECT_TRUE(StartupTaskStarts(name, L"C:\\Program Files\\Other\\Tarnwick.exe"));
    DeleteStartupTask(name);
    EXPECT_FALSE(StartupTaskStarts(name, exe));
    EXPECT_FALSE(RegisteredTaskXml(name));
    EXPECT_NO_THROW(DeleteStartupTask(name)) << "a task that is not there";
    CoUninitialize();
}

TEST(StartupTask, SetAutoRunRegistersTheTaskAndLeavesAnInstalledTraysRunValue) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const TRunKey run = MachineRunKey();
    const std::wstring title = Application().Title();
    const std::wstring exe = Application().ExeName();
    // What an install writes for the tray of every user.
    SetAutoRunValue(true, run, title, AutoRunCommand(exe));
    const auto runValue = [&] {
        return RegGetValueW(run.Root, run.Path.c_str(), title.c_str(), RRF_RT_ANY, nullptr, nullptr,
                            nullptr) == ERROR_SUCCESS;
    };
    ASSERT_TRUE(runValue());
    SetAutoRun(true);
    EXPECT_TRUE(AutoRunInPlace());
    SetAutoRun(false);
    EXPECT_FALSE(AutoRunInPlace());
    EXPECT_TRUE(runValue()) << "the installed tray still starts at logon";
    SetAutoRunValue(false, run, title, L"");
    CoUninitialize();
}
} // namespace
