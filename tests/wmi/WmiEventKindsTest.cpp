// The watcher's event kinds beside the network pair: each event reaches its own handler with
// its payload, object paths are read as WMI writes them, and the event logs are told apart.
#include <gtest/gtest.h>
#include <wbemcli.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "SimulatedWmiFixture.h"
#include "support/Pumping.h"
#include "wmi/WmiEventPayloads.h"
#include "wmi/WmiException.h"
#include "wmi/WmiSystemEvents.h"

namespace {
const wchar_t* const kActions[] = {L"unknown", L"created", L"deleted", L"modified"};

std::wstring Action(TWmiEventAction action) {
    return kActions[action];
}

// The class of the object a handler received as its instance.
std::wstring ClassOf(const VARIANT& instance) {
    const auto object = DispatchOf(instance);
    if (!object) return L"(none)";
    return VariantToText(
        GetProperty(DispatchOf(GetProperty(object.Get(), L"Path_").Get()).Get(), L"Class").Get());
}

ScopedVariant Bstr(const wchar_t* text) {
    return ScopedVariant(text);
}

// The watchdog is the first base, so it also guards the teardown of the watcher and its workers.
class EventKinds : private TWatchdog, public SimulatedWmiTest {
protected:
    EventKinds() : TWatchdog(60) {
        const auto text = [](const wchar_t* name, bool key = false) {
            return TSimPropertyDef{name, CimString, false, key};
        };
        // One key each, so an account's path can be fetched when the account exists.
        Wmi.AddClass(L"Win32_UserAccount", {text(L"Name", true), text(L"Domain")});
        Wmi.AddClass(L"Win32_Group", {text(L"Name", true), text(L"Domain")});
        Wmi.AddClass(L"Win32_GroupUser",
                     {{L"GroupComponent", CimReference}, {L"PartComponent", CimReference}});
        Wmi.AddClass(L"Win32_NTLogEvent", {text(L"Logfile"), text(L"Message")});
        Wmi.AddClass(L"Win32_LoggedOnUser",
                     {{L"Antecedent", CimReference}, {L"Dependent", CimReference}});
        Wmi.AddClass(L"Win32_LogonSession",
                     {text(L"LogonId", true), text(L"AuthenticationPackage")});
        Wmi.AddClass(L"Win32_Printer", {text(L"Name", true)});
        Wmi.AddClass(
            L"Win32_PrintJob",
            {text(L"Name", true), text(L"Document"), {L"JobId", CimUint32}, text(L"JobStatus")});
        Wmi.AddClass(L"Win32_DeviceChangeEvent", {{L"EventType", CimUint16}});
        Wmi.AddClass(L"Win32_Service", {text(L"Name", true), text(L"State")});
        Wmi.AddClass(L"Win32_CDROMDrive", {text(L"Drive", true), {L"MediaLoaded", CimBoolean}});
        Wmi.AddInstance(L"Win32_Group", {Bstr(L"Admins").Get(), Bstr(L"CORP").Get()});
        Wmi.AddInstance(L"Win32_LogonSession", {Bstr(L"999").Get(), Bstr(L"NTLM").Get()});
        Watcher->SetPoolingInterval(10);
    }
    ~EventKinds() override { Watcher = nullptr; }

    // Assigns every handler; each call adds one line to Heard.
    void AssignAll() {
        const auto account = [this](const wchar_t* kind) {
            return
                [this, kind](TComponent* sender, const VARIANT& instance, const std::wstring& name,
                             const std::wstring& domain, TWmiEventAction action) {
                    Hear(sender, kind, ClassOf(instance), name, domain, Action(action));
                };
        };
        const auto eventLog = [this](const wchar_t* kind) {
            return [this, kind](TComponent* sender, const VARIANT& instance,
                                const std::wstring& log, const std::wstring& message) {
                Hear(sender, kind, ClassOf(instance), log, message);
            };
        };
        const auto session = [this](const wchar_t* kind) {
            return [this, kind](TComponent* sender, const std::wstring& logonId,
                                const std::wstring& name, const std::wstring& domain) {
                Hear(sender, kind, logonId, name, domain);
            };
        };
        const auto cdrom = [this](const wchar_t* kind) {
            return [this, kind](TComponent* sender, const VARIANT& instance,
                                const std::wstring& drive) {
                Hear(sender, kind, ClassOf(instance), drive);
            };
        };
        Watcher->SetOnUserAccount(account(L"UserAccount"));
        Watcher->SetOnGroupAccount(account(L"GroupAccount"));
        Watcher->SetOnGroupMembership(
            [this](TComponent* sender, const VARIANT& instance, const std::wstring& groupName,
                   const std::wstring& groupDomain, const std::wstring& userName,
                   const std::wstring& userDomain, TWmiEventAction action) {
                Hear(sender, L"GroupMembership", ClassOf(instance), groupName, groupDomain,
                     userName, userDomain, Action(action));
            });
        Watcher->SetOnEventLogApplication(eventLog(L"EventLogApplication"));
        Watcher->SetOnEventLogSystem(eventLog(L"EventLogSystem"));
        Watcher->SetOnEventLogSecurity(eventLog(L"EventLogSecurity"));
        Watcher->SetOnEventLogAny(eventLog(L"EventLogAny"));
        Watcher->SetOnNetworkConnect(
            [this](TComponent* sender, const std::wstring&) { Hear(sender, L"Connect"); });
        Watcher->SetOnNetworkDisconnect(
            [this](TComponent* sender, const std::wstring&) { Hear(sender, L"Disconnect"); });
        Watcher->SetOnUserLogon(session(L"UserLogon"));
        Watcher->SetOnUserLogoff(session(L"UserLogoff"));
        Watcher->SetOnPrinter([this](TComponent* sender, const VARIANT& instance,
                                     const std::wstring& name, TWmiEventAction action) {
            Hear(sender, L"Printer", ClassOf(instance), name, Action(action));
        });
        Watcher->SetOnPrintJob([this](TComponent* sender, const VARIANT& instance,
                                      const std::wstring& document, int jobId,
                                      const std::wstring& status, TWmiEventAction action) {
            Hear(sender, L"PrintJob", ClassOf(instance), document, std::to_wstring(jobId), status,
                 Action(action));
        });
        Watcher->SetOnDocking([this](TComponent* sender) { Hear(sender, L"Docking"); });
        Watcher->SetOnService([this](TComponent* sender, const VARIANT& instance,
                                     const std::wstring& name, const std::wstring& state,
                                     TWmiEventAction action) {
            Hear(sender, L"Service", ClassOf(instance), name, state, Action(action));
        });
        Watcher->SetOnCDROMInserted(cdrom(L"CDROMInserted"));
        Watcher->SetOnCDROMEjected(cdrom(L"CDROMEjected"));
    }

    template <typename... T> void Hear(TComponent* sender, const T&... parts) {
        EXPECT_EQ(sender, Watcher);
        EXPECT_EQ(GetCurrentThreadId(), UiThread);
        std::wstring line;
        ((line += (line.empty() ? L"" : L" | ") + std::wstring(parts)), ...);
        Heard.push_back(line);
    }

    // What the handlers heard of the events raised by raise, sorted: it waits for count calls
    // and a little longer, so that a call too many is heard too.
    std::vector<std::wstring> HeardOf(const std::function<void()>& raise, size_t count) {
        Heard.clear();
        raise();
        PumpUntil([&] { return Heard.size() >= count; });
        PumpFor(250);
        std::vector<std::wstring> heard = Heard;
        std::sort(heard.begin(), heard.end());
        return heard;
    }

    void RaiseLogEvent(const wchar_t* log, const wchar_t* message) {
        Wmi.RaiseInstanceEvent(L"__InstanceCreationEvent", L"Win32_NTLogEvent",
                               {Bstr(log).Get(), Bstr(message).Get()});
    }

    const DWORD UiThread = GetCurrentThreadId();
    TWmiSystemEvents* Watcher = Owner.Own<TWmiSystemEvents>();
    std::vector<std::wstring> Heard;
};

using Lines = std::vector<std::wstring>;

TEST_F(EventKinds, EachEventReachesOnlyItsOwnHandlerWithItsPayload) {
    AssignAll();
    Watcher->SetActive(true);
    ASSERT_EQ(17u, Watcher->Registrations().size());
    for (const auto& registration : Watcher->Registrations())
        EXPECT_TRUE(TWmiSystemEvents::Running(*registration)) << registration->Query;
    // The security log needs its privilege, for its own kind and for every log.
    ASSERT_EQ(2u, Wmi.Privileges().size());
    for (const TSimPrivilege& privilege : Wmi.Privileges())
        EXPECT_EQ(7, privilege.Ordinal);

    EXPECT_EQ(Lines{L"UserAccount | Win32_UserAccount | Ann | PC | created"},
              HeardOf(
                  [&] {
                      Wmi.RaiseInstanceEvent(L"__InstanceCreationEvent", L"Win32_UserAccount",
                                             {Bstr(L"Ann").Get(), Bstr(L"PC").Get()});
                  },
                  1));
    EXPECT_EQ(Lines{L"GroupAccount | Win32_Group | Admins | CORP | deleted"},
              HeardOf(
                  [&] {
                      Wmi.RaiseInstanceEvent(L"__InstanceDeletionEvent", L"Win32_Group",
                                             {Bstr(L"Admins").Get(), Bstr(L"CORP").Get()});
                  },
                  1));
    // The group is fetched (its domain is not in the path); the user cannot be, so its values
    // come out of the path, escapes undone.
    EXPECT_EQ(Lines{L"GroupMembership | Win32_GroupUser | Admins | CORP | O\"Brien | PC | "
                    L"created"},
              HeardOf(
                  [&] {
                      Wmi.RaiseInstanceEvent(
                          L"__InstanceCreationEvent", L"Win32_GroupUser",
                          {Bstr(L"\\\\PC\\root\\cimv2:Win32_Group.Name=\"Admins\"").Get(),
                           Bstr(L"\\\\PC\\root\\cimv2:Win32_UserAccount.Domain=\"PC\","
                                L"Name=\"O\\\"Brien\"")
                               .Get()});
                  },
                  1));
    EXPECT_EQ((Lines{L"EventLogAny | Win32_NTLogEvent | Security | audit",
                     L"EventLogSecurity | Win32_NTLogEvent | Security | audit"}),
              HeardOf([&] { RaiseLogEvent(L"Security", L"audit"); }, 2));
    EXPECT_EQ(
        (Lines{L"UserLogon | 999 | Ann | PC"}),
        HeardOf(
            [&] {
                Wmi.RaiseInstanceEvent(
                    L"__InstanceCreationEvent", L"Win32_LoggedOnUser",
                    {Bstr(L"\\\\PC\\root\\cimv2:Win32_Account.Domain=\"PC\",Name=\"Ann\"").Get(),
                     Bstr(L"\\\\PC\\root\\cimv2:Win32_LogonSession.LogonId=\"999\"").Get()});
            },
            1));
    // The session is gone at logoff: its id comes out of the path.
    EXPECT_EQ(
        (Lines{L"UserLogoff | 1234 | Bob | CORP"}),
        HeardOf(
            [&] {
                Wmi.RaiseInstanceEvent(
                    L"__InstanceDeletionEvent", L"Win32_LoggedOnUser",
                    {Bstr(L"\\\\PC\\root\\cimv2:Win32_Account.Domain=\"CORP\",Name=\"Bob\"").Get(),
                     Bstr(L"\\\\PC\\root\\cimv2:Win32_LogonSession.LogonId=\"1234\"").Get()});
            },
            1));
    EXPECT_EQ(Lines{L"Printer | Win32_Printer | HP LaserJet | modified"},
              HeardOf(
                  [&] {
                      Wmi.RaiseInstanceEvent(L"__InstanceModificationEvent", L"Win32_Printer",
                                             {Bstr(L"HP LaserJet").Get()}, {Bstr(L"HP").Get()});
                  },
                  1));
    EXPECT_EQ(Lines{L"PrintJob | Win32_PrintJob | report.doc | 42 | Printing | created"},
              HeardOf(
                  [&] {
                      Wmi.RaiseInstanceEvent(L"__InstanceCreationEvent", L"Win32_PrintJob",
                                             {Bstr(L"HP, 42").Get(), Bstr(L"report.doc").Get(),
                                              ScopedVariant(42).Get(), Bstr(L"Printing").Get()});
                  },
                  1));
    // Only a docking change (type 4) is a docking event.
    EXPECT_EQ(Lines{L"Docking"},
              HeardOf(
                  [&] {
                      Wmi.RaiseEvent(L"Win32_DeviceChangeEvent", {ScopedVariant(2).Get()});
                      Wmi.RaiseEvent(L"Win32_DeviceChangeEvent", {ScopedVariant(4).Get()});
                  },
                  1));
    EXPECT_EQ(Lines{L"Service | Win32_Service | Spooler | Stopped | modified"},
              HeardOf(
                  [&] {
                      Wmi.RaiseInstanceEvent(L"__InstanceModificationEvent", L"Win32_Service",
                                             {Bstr(L"Spooler").Get(), Bstr(L"Stopped").Get()},
                                             {Bstr(L"Spooler").Get(), Bstr(L"Running").Get()});
                  },
                  1));
    const auto drive = [&](bool loaded) {
        Wmi.RaiseInstanceEvent(L"__InstanceModificationEvent", L"Win32_CDROMDrive",
                               {Bstr(L"D:").Get(), ScopedVariant(loaded).Get()},
                               {Bstr(L"D:").Get(), ScopedVariant(!loaded).Get()});
    };
    EXPECT_EQ(Lines{L"CDROMInserted | Win32_CDROMDrive | D:"}, HeardOf([&] { drive(true); }, 1));
    EXPECT_EQ(Lines{L"CDROMEjected | Win32_CDROMDrive | D:"}, HeardOf([&] { drive(false); }, 1));
    EXPECT_EQ(Lines{L"Disconnect"},
              HeardOf([&] { Wmi.RaiseMediaEvent(false, L"Intel(R) PRO/1000 MT"); }, 1));
}

TEST_F(EventKinds, AnEventLogEventReachesTheAnyLogHandlerAndItsOwnLogsOnceEach) {
    int any = 0, application = 0, system = 0;
    std::wstring systemLog;
    Watcher->SetOnEventLogApplication([&](TComponent*, const VARIANT&, const std::wstring&,
                                          const std::wstring&) { ++application; });
    Watcher->SetOnEventLogSystem(
        [&](TComponent*, const VARIANT&, const std::wstring& log, const std::wstring&) {
            ++system;
            systemLog = log;
        });
    Watcher->SetOnEventLogAny(
        [&](TComponent*, const VARIANT&, const std::wstring&, const std::wstring&) { ++any; });
    Watcher->SetActive(true);

    RaiseLogEvent(L"Application", L"started");
    ASSERT_TRUE(PumpUntil([&] { return any == 1 && application == 1; }));
    // Log names ignore case; a log without a handler of its own reaches the any-log handler.
    RaiseLogEvent(L"system", L"time changed");
    RaiseLogEvent(L"Security", L"audit");
    RaiseLogEvent(L"Setup", L"installed");
    ASSERT_TRUE(PumpUntil([&] { return any == 4 && system == 1; }));
    PumpFor(300);
    EXPECT_EQ(4, any);
    EXPECT_EQ(1, application);
    EXPECT_EQ(1, system);
    EXPECT_EQ(L"system", systemLog);

    // Without the any-log handler a log's event still reaches its own handler once.
    Watcher->SetOnEventLogAny(nullptr);
    RaiseLogEvent(L"Application", L"stopped");
    ASSERT_TRUE(PumpUntil([&] { return application == 2; }));
    PumpFor(300);
    EXPECT_EQ(2, application);
    EXPECT_EQ(4, any);
}

TEST_F(EventKinds, ClearingOneHandlerRemovesOnlyItsRegistration) {
    AssignAll();
    Watcher->SetActive(true);
    const std::wstring groupQuery = EventKindInfo(TWmiEventKind::GroupAccount).Query;
    const std::wstring anyLogQuery = EventKindInfo(TWmiEventKind::EventLogAny).Query;
    Watcher->SetOnGroupAccount(nullptr);
    Watcher->SetOnEventLogAny(nullptr);
    EXPECT_FALSE(Watcher->OnGroupAccount());
    ASSERT_EQ(15u, Watcher->Registrations().size());
    for (const auto& registration : Watcher->Registrations()) {
        EXPECT_NE(groupQuery, registration->Query);
        EXPECT_NE(anyLogQuery, registration->Query);
        EXPECT_TRUE(TWmiSystemEvents::Running(*registration)) << registration->Query;
    }
    // Assigning again over an assigned handler replaces it and keeps the one registration.
    int users = 0;
    Watcher->SetOnUserAccount([&](TComponent*, const VARIANT&, const std::wstring&,
                                  const std::wstring&, TWmiEventAction) { ++users; });
    EXPECT_EQ(15u, Watcher->Registrations().size());

    EXPECT_EQ(Lines{L"EventLogSystem | Win32_NTLogEvent | System | boot"},
              HeardOf(
                  [&] {
                      Wmi.RaiseInstanceEvent(L"__InstanceDeletionEvent", L"Win32_Group",
                                             {Bstr(L"Admins").Get(), Bstr(L"CORP").Get()});
                      Wmi.RaiseInstanceEvent(L"__InstanceCreationEvent", L"Win32_UserAccount",
                                             {Bstr(L"Ann").Get(), Bstr(L"PC").Get()});
                      RaiseLogEvent(L"System", L"boot");
                  },
                  1));
    EXPECT_EQ(1, users);
}

TEST_F(EventKinds, AFailedSubscriptionLeavesTheHandlerUnassignedSoAssigningAgainRetries) {
    Watcher->SetActive(true);
    int services = 0;
    const TWin32ServiceEvent handler = [&](TComponent*, const VARIANT&, const std::wstring&,
                                           const std::wstring&, TWmiEventAction) { ++services; };
    Wmi.SetEventQueryError(WBEM_E_ACCESS_DENIED);
    EXPECT_THROW(Watcher->SetOnService(handler), TWmiException);
    EXPECT_FALSE(Watcher->OnService());
    EXPECT_TRUE(Watcher->Registrations().empty());

    Wmi.SetEventQueryError(S_OK);
    Watcher->SetOnService(handler);
    ASSERT_EQ(1u, Watcher->Registrations().size());
    Wmi.RaiseInstanceEvent(L"__InstanceCreationEvent", L"Win32_Service",
                           {Bstr(L"Spooler").Get(), Bstr(L"Running").Get()});
    EXPECT_TRUE(PumpUntil([&] { return services == 1; }));
}

TEST(WmiEventObjectPath, KeysAreReadAsWmiWritesThem) {
    const std::wstring account =
        L"\\\\PC\\root\\cimv2:Win32_UserAccount.Domain=\"PC\",Name=\"Ann\"";
    EXPECT_EQ(L"PC", ObjectPathKey(account, L"Domain"));
    EXPECT_EQ(L"Ann", ObjectPathKey(account, L"Name"));
    EXPECT_EQ(L"", ObjectPathKey(account, L"LogonId")) << "a missing key";
    EXPECT_EQ(L"999", ObjectPathKey(L"Win32_LogonSession.LogonId=\"999\"", L"LogonId"));
    EXPECT_EQ(L"", ObjectPathKey(L"", L"Name"));
    EXPECT_EQ(L"", ObjectPathKey(L"Win32_UserAccount", L"Name")) << "a class path";
    EXPECT_EQ(L"", ObjectPathKey(L"Win32_Group.Domain=\"\",Name=\"x\"", L"Domain"));

    // Quotes and backslashes inside a value are escaped; the value ends at its own quote.
    const std::wstring odd = L"Win32_Group.Domain=\"A\\\\B\",Name=\"say \\\"hi\\\", Name=\\\"x\"";
    EXPECT_EQ(L"A\\B", ObjectPathKey(odd, L"Domain"));
    EXPECT_EQ(L"say \"hi\", Name=\"x", ObjectPathKey(odd, L"Name"));

    // A key is a whole name, and names ignore case as WMI's do.
    const std::wstring user = L"X.UserName=\"u\",Name=\"n\"";
    EXPECT_EQ(L"n", ObjectPathKey(user, L"Name"));
    EXPECT_EQ(L"n", ObjectPathKey(user, L"NAME"));

    // Dots in the server name, colons and dots in values, numbers without quotes.
    EXPECT_EQ(L"C:", ObjectPathKey(L"\\\\pc.corp.local\\root\\cimv2:Win32_LogicalDisk."
                                   L"DeviceID=\"C:\"",
                                   L"DeviceID"));
    EXPECT_EQ(L"C:\\a.b", ObjectPathKey(L"Win32_Directory.Name=\"C:\\\\a.b\"", L"Name"));
    EXPECT_EQ(L"42", ObjectPathKey(L"Win32_Process.Handle=42,Name=\"x\"", L"Handle"));
    EXPECT_EQ(L"x", ObjectPathKey(L"Win32_Process.Handle=42,Name=\"x\"", L"Name"));
}
} // namespace
