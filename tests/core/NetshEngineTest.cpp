// The netsh engine against the stand-in netsh, which logs each command line it is started with.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <map>
#include <thread>
#include <vector>

#include "core/NetshEngine.h"
#include "framework/CommandLine.h"
#include "core/Settings.h"
#include "framework/Scoped.h"
#include "framework/Strings.h"
#include "support/FakeNetsh.h"
#include "support/Seams.h"
#include "support/TempFolder.h"

namespace {

using Lines = std::vector<std::wstring>;

int64_t NetshApplyProfile(const std::wstring& section, const std::wstring& name) {
    return NetshSwitchConnection(name, ReadProfile(section)).Code;
}
int64_t NetshSetAddress(const std::wstring& name, const std::wstring& address,
                        const std::wstring& mask, const std::wstring& gateway,
                        const std::wstring& preferred, const std::wstring& alternate) {
    TIpProfile profile;
    profile.IPAddress = address;
    profile.IPSubnet = mask;
    profile.DefaultIPGateway = gateway;
    profile.DNSA = preferred;
    profile.DNSB = alternate;
    return NetshSwitchConnection(name, profile).Code;
}
// The exit code, or -1 when the command did not run to its end.
int RunAndWait(const std::wstring& commandLine, DWORD timeLimit = NetshTimeLimit) {
    const TNetshRun run = RunNetsh(commandLine, timeLimit);
    return run.Kind == TNetshRun::Exited ? run.ExitCode : -1;
}

class NetshEngine : public ::testing::Test {
protected:
    TempFolder folder;
    // Every test runs against the stand-in; the system's netsh is never started.
    ScopedFakeNetsh netsh{folder.File(L"netsh.log")};
    const std::wstring name = L"本地连接 2";

    void SetUp() override {
        ASSERT_NE(GetFileAttributesW(ScopedFakeNetsh::Program().c_str()), INVALID_FILE_ATTRIBUTES)
            << "build fake_netsh";
        OpenSettingsAt(folder.File(L"Config.ini"));
    }

    void Profile(const std::wstring& section, const std::map<std::wstring, std::wstring>& keys) {
        for (const auto& [key, value] : keys)
            ConfigIni().WriteString(section, key, value);
    }
    // What the stand-in was started with, one entry per call; the log is emptied.
    Lines Commands() { return Taken(L"netsh.log"); }
    // The lines of one of the stand-in's logs, which is emptied.
    Lines Taken(const std::wstring& log) {
        const std::wstring text = FromUtf8(folder.ReadBytes(log));
        DeleteFileW(folder.File(log).c_str());
        Lines lines;
        for (size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos;
             start = end + 2)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }
};

TEST_F(NetshEngine, AutomaticCaseSetsAddressAndDnsByDhcp) {
    const Lines dhcp = {L"netsh interface ip set address \"本地连接 2\" dhcp ",
                        L"netsh interface ip set dns \"本地连接 2\" dhcp "};
    // DHCPEnabled=1 whatever else the profile holds; an address of "DHCP" or none without it.
    Profile(L"A", {{L"DHCPEnabled", L"1"},
                   {L"IPAddress", L"10.0.0.5"},
                   {L"DNSA", L"10.0.0.1"},
                   {L"DNSB", L"10.0.0.2"}});
    Profile(L"B", {{L"DHCPEnabled", L"0"}, {L"IPAddress", L"DHCP"}, {L"DNSA", L"10.0.0.1"}});
    EXPECT_EQ(NetshApplyProfile(L"A", name), 0);
    EXPECT_EQ(Commands(), dhcp);
    EXPECT_EQ(NetshApplyProfile(L"B", name), 0);
    EXPECT_EQ(Commands(), dhcp);
    Profile(L"B", {{L"IPAddress", L""}});
    EXPECT_EQ(NetshApplyProfile(L"B", name), 0);
    EXPECT_EQ(Commands(), dhcp);
}

TEST_F(NetshEngine, StaticProfilesComposeExactCommandLines) {
    const std::wstring address = L"netsh interface ip set address \"本地连接 2\" static ";
    const std::wstring dns = L"netsh interface ip set dns \"本地连接 2\" static ";
    const std::wstring add = L"netsh interface ip add dns \"本地连接 2\" ";
    // Servers are taken as given: validated, each would be contacted first.
    const std::wstring unvalidated = L" validate=no";
    const struct {
        std::map<std::wstring, std::wstring> Keys;
        Lines Expected;
    } cases[] = {
        {{{L"IPSubnet", L"255.255.0.0"},
          {L"DefaultIPGateway", L"10.0.0.1"},
          {L"DNSA", L"10.0.0.2"},
          {L"DNSB", L"10.0.0.3"}},
         {address + L"10.0.0.5 255.255.0.0 10.0.0.1 1", dns + L"10.0.0.2" + unvalidated,
          add + L"10.0.0.3" + unvalidated}},
        {{{L"IPSubnet", L"255.255.0.0"},
          {L"DefaultIPGateway", L"10.0.0.1"},
          {L"DNSB", L"10.0.0.3"}},
         {address + L"10.0.0.5 255.255.0.0 10.0.0.1 1", dns + L"none",
          add + L"10.0.0.3" + unvalidated}},
        // DNSEnabled is not this engine's business.
        {{{L"IPSubnet", L"255.255.0.0"}, {L"DefaultIPGateway", L"10.0.0.1"}, {L"DNSEnabled", L"1"}},
         {address + L"10.0.0.5 255.255.0.0 10.0.0.1 1", dns + L"none"}},
        // No mask: the one the WMI engine applies too, never an empty place netsh would skip.
        {{{L"DefaultIPGateway", L"10.0.0.1"}, {L"DNSA", L"10.0.0.2"}},
         {address + L"10.0.0.5 255.255.255.0 10.0.0.1 1", dns + L"10.0.0.2" + unvalidated}},
        // Without a gateway netsh must not read the metric as one.
        {{{L"IPSubnet", L"255.255.0.0"}}, {address + L"10.0.0.5 255.255.0.0 none", dns + L"none"}},
    };
    for (const auto& c : cases) {
        TempFolder profileFolder;
        OpenSettingsAt(profileFolder.File(L"Config.ini"));
        Profile(L"B", c.Keys);
        Profile(L"B", {{L"DHCPEnabled", L"0"}, {L"IPAddress", L"10.0.0.5"}});
        EXPECT_EQ(NetshApplyProfile(L"B", name), 0);
        const Lines commands = Commands();
        EXPECT_EQ(commands, c.Expected);

        // The quoted name reaches netsh as one word.
        const std::vector<std::wstring> words = CommandLineArguments(commands.front());
        ASSERT_GE(words.size(), 6u);
        EXPECT_EQ(words[5], name);
    }
}

TEST_F(NetshEngine, FirstFailureIsReportedAndTheOtherCommandsStillRun) {
    Profile(L"A", {{L"IPAddress", L"10.0.0.5"},
                   {L"IPSubnet", L"255.0.0.0"},
                   {L"DNSA", L"10.0.0.2"},
                   {L"DNSB", L"10.0.0.3"}});
    const struct {
        const wchar_t* ExitCodes;
        int Expected;
    } runs[] = {{L"0", 0}, {L"0,5,7", 5}, {L"0,0,1", 1}, {L"-2147024891", -2147024891}};
    for (const auto& run : runs) {
        netsh.SetExitCodes(run.ExitCodes);
        EXPECT_EQ(NetshApplyProfile(L"A", name), run.Expected) << run.ExitCodes;
        EXPECT_EQ(Commands().size(), 3u) << run.ExitCodes;
    }
}

TEST_F(NetshEngine, ProgramIsTheApplicationNameNotTheCommandsFirstWord) {
    {
        const ScopedSeam systems(&SetNetshProgram, std::wstring());
        wchar_t system[MAX_PATH];
        GetSystemDirectoryW(system, MAX_PATH);
        EXPECT_EQ(NetshProgram(), std::wstring(system) + L"\\netsh.exe");
    }

    // A program of another name runs, so nothing is looked up from the command's "netsh".
    ASSERT_TRUE(
        CopyFileW(ScopedFakeNetsh::Program().c_str(), folder.File(L"stand-in.exe").c_str(), FALSE));
    const ScopedSeam standIn(&SetNetshProgram, folder.File(L"stand-in.exe"));
    EXPECT_EQ(NetshSetAddress(L"LAN", L"DHCP", L"", L"", L"", L""), 0);
    EXPECT_EQ(Commands(), (Lines{L"netsh interface ip set address \"LAN\" dhcp ",
                                 L"netsh interface ip set dns \"LAN\" dhcp "}));
}

TEST_F(NetshEngine, CommandsThatCannotRunFailTheSwitch) {
    // Over 512 characters is refused, never cut; the next command still runs.
    EXPECT_EQ(RunAndWait(L"netsh" + std::wstring(507, L'x')), 0);
    EXPECT_EQ(RunAndWait(L"netsh" + std::wstring(508, L'x')), -1);
    EXPECT_EQ(Commands(), Lines{L"netsh" + std::wstring(507, L'x')});
    // No address at all: nothing runs.
    EXPECT_EQ(NetshSetAddress(name, std::wstring(480, L'1'), L"255.0.0.0", L"", L"", L""), -1);
    EXPECT_EQ(Commands(), Lines{});

    {
        const ScopedSeam missing(&SetNetshProgram, folder.File(L"missing\\netsh.exe"));
        EXPECT_EQ(NetshSetAddress(name, L"DHCP", L"", L"", L"", L""), -1);
    }

    // A hung netsh is stopped at the time limit.
    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_DELAY_MS", L"20000");
    const DWORD start = GetTickCount();
    EXPECT_EQ(RunAndWait(L"netsh interface ip show config", 500), -1);
    EXPECT_LT(GetTickCount() - start, 10000u);
}

TEST_F(NetshEngine, EveryCommandRunsInAConsoleWithoutAWindowAndInheritsNothing) {
    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_STARTUP", folder.File(L"startup.log").c_str());
    // A handle this process lets children inherit, to a section that holds its own value: netsh
    // must not get it.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const ScopedHandle section(
        CreateFileMappingW(INVALID_HANDLE_VALUE, &inheritable, PAGE_READWRITE, 0, 64, nullptr));
    ASSERT_TRUE(section);
    wchar_t value[32];
    swprintf(value, 32, L"%llx",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(section.Get())));
    void* view = MapViewOfFile(section.Get(), FILE_MAP_WRITE, 0, 0, sizeof value);
    ASSERT_TRUE(view);
    memcpy(view, value, sizeof value);
    UnmapViewOfFile(view);
    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_HANDLE", value);
    Profile(L"A", {{L"IPAddress", L"10.0.0.5"}, {L"DNSA", L"10.0.0.2"}, {L"DNSB", L"10.0.0.3"}});
    EXPECT_EQ(NetshApplyProfile(L"A", name), 0);
    const Lines started = Taken(L"startup.log");
    ASSERT_EQ(started.size(), 3u);
    for (const std::wstring& line : started) {
        unsigned long flags = 0;
        int show = -1, processes = -1;
        wchar_t console[16] = {}, inherited[8] = {};
        ASSERT_EQ(swscanf(line.c_str(),
                          L"flags=%lx show=%d console=%15ls processes=%d inherited=%7ls", &flags,
                          &show, console, &processes, inherited),
                  5)
            << line;
        EXPECT_TRUE(flags & STARTF_USESHOWWINDOW) << line;
        EXPECT_EQ(show, SW_HIDE) << line;
        // A new console is opened by the default terminal, which may show it.
        EXPECT_STREQ(console, L"none") << line;
        // A console shared with this program would take netsh's output into ours.
        EXPECT_EQ(processes, 1) << line;
        EXPECT_STREQ(inherited, L"no") << line;
    }
}

TEST_F(NetshEngine, WindowsAnswerTheirMessagesWhileACommandRuns) {
    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_DELAY_MS", L"1500");
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
    const DWORD start = GetTickCount();
    DWORD answeredAfter = 0;
    const HWND window =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    // A message sent from another thread waits for this one: answered during the command.
    std::thread sender([&] {
        Sleep(300);
        // With a time limit: a thread that has stopped serving messages must not hang the test.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
        answeredAfter = GetTickCount() - start;
    });
    EXPECT_EQ(RunAndWait(L"netsh interface ip show config"), 0);
    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_DELAY_MS", nullptr);
    sender.join();
    DestroyWindow(window);
    EXPECT_LT(answeredAfter, 1200u) << "answered only once netsh had ended";
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));
}

} // namespace
