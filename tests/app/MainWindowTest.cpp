// The main window with the simulated adapters: marking, switching, hovering, closing, reconnects.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

#include "app/MainWindow.h"
#include "core/NetshEngine.h"
#include "core/ProgressWindow.h"
#include "core/Settings.h"
#include "fakes/SimulatedWmi.h"
#include "framework/Application.h"
#include "support/TempFolder.h"

namespace {

const COLORREF kLime = RGB(0, 255, 0);
const COLORREF kWhite = RGB(255, 255, 255);

class TestableMainWindow : public TfrmMainWindow {
public:
    using TfrmMainWindow::TfrmMainWindow;
    uint32_t Now = 0;

protected:
    uint32_t CurrentTick() const override { return Now; }
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        // A fresh provider for every test, with its two default adapters.
        sim = &TSimulatedWmi::Install();
        Application().SetMessageBoxFunction(
            [this](const std::wstring& text, const std::wstring&, UINT) {
                messages.push_back(text);
                return IDOK;
            });
        configPath = ExecutableFolder() + L"Config.ini";
    }
    void TearDown() override {
        owner.DestroyComponents();
        CloseProgress();
        Application().SetMessageBoxFunction(nullptr);
        TSimulatedWmi::Uninstall();
        DeleteFileW(configPath.c_str());
    }

    // Config.ini beside the test program, where the window looks for it.
    void Config(const std::string& text) {
        FILE* f = _wfopen(configPath.c_str(), L"wb");
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
    std::wstring Read(const wchar_t* section, const wchar_t* key) {
        return TIniFile(configPath).ReadString(section, key, L"");
    }
    TestableMainWindow* Create() { return window = owner.Own<TestableMainWindow>(); }
    void DoubleClick(TLabel* label) {
        const RECT r = label->BoundsRect();
        SendMessageW(window->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON,
                     MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    }

    const std::string profiles = "[A]\r\nName=Office\r\nIPAddress=10.0.0.5\r\nDNSEnabled=1\r\n"
                                 "[B]\r\nNAME=Internet\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n";
    TComponent owner;
    TSimulatedWmi* sim = nullptr;
    TestableMainWindow* window = nullptr;
    std::vector<std::wstring> messages;
    std::wstring configPath;
};

TEST_F(MainWindow, StartMarksTheRecordedProfileWithoutTouchingTheAdapters) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    EXPECT_EQ(window->AANetB->Caption(), L"√外网");
    EXPECT_EQ(window->AANetB->Font().Color(), kLime);
    EXPECT_EQ(window->AANetA->Caption(), L"×内网");
    EXPECT_EQ(window->AANetA->Font().Color(), kWhite);
    EXPECT_EQ(window->Caption(), L"Tarnwick");
    EXPECT_TRUE(window->Timer1->Enabled()) << "hides itself at the first pass of the message loop";
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(sim->Calls().empty());
    EXPECT_EQ(sim->MonikerBinds(), 0);
}

TEST_F(MainWindow, StartWithAConfigIniThatCannotBeWrittenSaysNothing) {
    // As for a user without rights on the program's folder: reads work, writes are refused.
    Config("[NET]\r\nNET=B\r\n" + profiles);
    HANDLE reader = CreateFileW(configPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    Create();
    CloseHandle(reader);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(window->AANetB->Caption(), L"√外网");
}

TEST_F(MainWindow, FirstStartAsksForTheSettingsAndStaysVisible) {
    Config(profiles);
    Create();
    EXPECT_EQ(messages, std::vector<std::wstring>{L"初次运行，需要设置您的IP地址！"});
    EXPECT_FALSE(window->Timer1->Enabled());
    EXPECT_EQ(window->AANetA->Caption(), L"×内网");
    EXPECT_EQ(window->AANetB->Caption(), L"×外网");
    EXPECT_EQ(window->AANetA->Font().Color(), kLime)
        << "both keep their stored colour until hovered";
    EXPECT_EQ(Read(L"NET", L"NET"), L"");
}

TEST_F(MainWindow, DoubleClickSwitchesBehindTheProgressWindow) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    std::wstring progressText;
    bool progressShown = false;
    sim->OnCall = [&](const TSimCall&) {
        if (TFmProgress* progress = ProgressWindow()) {
            progressText = progress->LblShow()->Caption();
            progressShown = progress->Visible();
        }
    };
    DoubleClick(window->AANetA);
    sim->OnCall = nullptr;
    EXPECT_EQ(progressText, L"正在切换到Office,请稍后...");
    EXPECT_TRUE(progressShown);
    EXPECT_EQ(ProgressWindow(), nullptr) << "closed after the switch";
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
    EXPECT_EQ(window->AANetA->Caption(), L"√内网");
    EXPECT_EQ(window->AANetA->Font().Color(), kLime);
    EXPECT_EQ(window->AANetB->Caption(), L"×外网");
    EXPECT_EQ(window->AANetB->Font().Color(), kWhite);
    EXPECT_EQ(sim->Adapters()[0].IPAddress, std::vector<std::wstring>{L"10.0.0.5"});
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindow, FailedSwitchSaysSoAndChangesNothing) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    sim->SetResult(L"EnableStatic", 1);
    EXPECT_EQ(window->SwitchTo(L"A"), 1);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"切换IP地址不成功，请检查你您的ip设置."});
    EXPECT_EQ(Read(L"NET", L"NET"), L"B");
    EXPECT_EQ(window->AANetB->Caption(), L"√外网");
    EXPECT_EQ(window->AANetA->Caption(), L"×内网");
    EXPECT_EQ(ProgressWindow(), nullptr);
}

TEST_F(MainWindow, UnreachableServiceIsReportedAfterTheProgressWindowHasGone) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    bool progressGone = false;
    Application().SetMessageBoxFunction(
        [&](const std::wstring& text, const std::wstring&, UINT flags) {
            messages.push_back(text);
            progressGone = ProgressWindow() == nullptr;
            EXPECT_TRUE(flags & MB_ICONERROR) << "the standard error box";
            return IDOK;
        });
    sim->SetServiceError(0x8004100E);
    DoubleClick(window->AANetA);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(progressGone);
    EXPECT_EQ(Read(L"NET", L"NET"), L"B");
    EXPECT_EQ(window->AANetB->Caption(), L"√外网");
}

TEST_F(MainWindow, DoubleClickDuringARunningSwitchIsIgnored) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    int nested = 0;
    sim->OnCall = [&](const TSimCall&) {
        if (nested++ == 0) DoubleClick(window->AANetB);
    };
    DoubleClick(window->AANetA);
    sim->OnCall = nullptr;
    EXPECT_EQ(sim->Calls().size(), 4u) << "only the first switch reached the adapters";
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");

    // The same through the message queue: a slow adapter dispatches waiting input meanwhile.
    sim->ClearCalls();
    sim->SetDelay(30);
    const RECT r = window->AANetA->BoundsRect();
    PostMessageW(window->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.left + 5, r.top + 5));
    DoubleClick(window->AANetB);
    sim->SetDelay(0);
    EXPECT_EQ(sim->Calls().size(), 4u);
    EXPECT_EQ(Read(L"NET", L"NET"), L"B");
}

TEST_F(MainWindow, NetshMessagePassNeverStartsASecondSwitch) {
    Config("[NET]\r\nNET=B\r\nMethod=B\r\n" + profiles);
    Create();
    TempFolder folder;
    SetNetshProgram(ExecutableFolder() + L"fakes\\netsh\\netsh.exe");
    SetEnvironmentVariableW(L"TARNWICK_FAKE_NETSH_LOG", folder.File(L"netsh.log").c_str());
    // Waits in the queue while netsh runs; the pass after the last command dispatches it.
    const RECT r = window->AANetB->BoundsRect();
    PostMessageW(window->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.left + 5, r.top + 5));
    EXPECT_EQ(window->SwitchTo(L"A"), 0);
    SetNetshProgram(L"");
    const std::string log = folder.ReadBytes(L"netsh.log");
    EXPECT_EQ(log.find("dhcp"), std::string::npos) << "profile B was applied as well:\n" << log;
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
    EXPECT_EQ(window->AANetB->Caption(), L"×外网");
}

TEST_F(MainWindow, HoverUnderlinesAndLeavingRestoresTheStateColour) {
    Config("[NET]\r\nNET=A\r\n" + profiles);
    Create();
    for (TLabel* label : {window->AANetA, window->AANetB}) {
        window->AANetAMouseEnter(label);
        EXPECT_TRUE(label->Font().Style() & fsUnderline);
        EXPECT_EQ(label->Font().Color(), kLime);
        window->AANetAMouseLeave(label);
        EXPECT_FALSE(label->Font().Style() & fsUnderline);
    }
    EXPECT_EQ(window->AANetA->Font().Color(), kLime) << "the active label stays lime";
    EXPECT_EQ(window->AANetB->Font().Color(), kWhite);
    window->lbl2MouseEnter(window->lbl1);
    EXPECT_TRUE(window->lbl1->Font().Style() & fsUnderline);
    window->lbl2MouseLeave(window->lbl1);
    EXPECT_FALSE(window->lbl1->Font().Style() & fsUnderline);
}

TEST_F(MainWindow, ClosingHidesAndOnlyExitOrLogOffEnds) {
    Config("[NET]\r\nNET=A\r\n" + profiles);
    Create();
    window->Show();
    SendMessageW(window->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(window->HandleAllocated());
    EXPECT_TRUE(IsIconic(window->Handle()) || !IsWindowVisible(window->Handle()));

    // A log-off that another program cancels leaves the window hiding on close.
    EXPECT_EQ(SendMessageW(window->Handle(), WM_QUERYENDSESSION, 0, 0), 1);
    SendMessageW(window->Handle(), WM_ENDSESSION, FALSE, 0);
    EXPECT_FALSE(window->Close()) << "the session goes on";

    EXPECT_EQ(SendMessageW(window->Handle(), WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_TRUE(window->Close()) << "the session is ending";

    auto* second = owner.Own<TestableMainWindow>();
    Application().SetMainForm(second);
    second->Exit1Click(second);
    EXPECT_FALSE(second->HandleAllocated()) << "the main window is gone, which ends the program";
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    Application().SetMainForm(nullptr);
}

TEST_F(MainWindow, ReconnectWithinAMinuteTogglesTheProfile) {
    Config("[NET]\r\nNET=A\r\nAutoSwitch=1\r\n" + profiles);
    Create();
    window->Now = 5000;
    window->netEvent1NetworkDisconnect(nullptr);
    window->Now = 65001;
    window->netEvent1NetworkConnect(nullptr);
    EXPECT_EQ(Read(L"NET", L"NET"), L"A") << "60 001 ms is too late";
    window->Now = 65000;
    window->netEvent1NetworkConnect(nullptr);
    EXPECT_EQ(Read(L"NET", L"NET"), L"B");
    window->netEvent1NetworkConnect(nullptr);
    EXPECT_EQ(Read(L"NET", L"NET"), L"A") << "a second connect toggles again";

    // Across the wrap of the tick count.
    window->Now = 0xFFFFF000u;
    window->netEvent1NetworkDisconnect(nullptr);
    window->Now = 0x00001000u;
    window->netEvent1NetworkConnect(nullptr);
    EXPECT_EQ(Read(L"NET", L"NET"), L"B");
}

TEST_F(MainWindow, ReconnectDoesNothingWithoutAnActiveProfileOrTheOption) {
    Config("[NET]\r\nNET=X\r\nAutoSwitch=1\r\n" + profiles);
    Create();
    window->netEvent1NetworkConnect(nullptr);
    EXPECT_TRUE(sim->Calls().empty());
    EXPECT_EQ(window->ToggleProfile(), -1);

    Config("[NET]\r\nNET=A\r\nAutoSwitch=0\r\n" + profiles);
    window->netEvent1NetworkConnect(nullptr);
    EXPECT_TRUE(sim->Calls().empty());
}

TEST_F(MainWindow, DamagedActiveProfileIsNeverApplied) {
    Config("[NET]\r\nNET=X\r\n" + profiles);
    Create();
    // What a confirmed configuration dialog hands on from NET/NET; "a" would reach section A.
    for (const wchar_t* profile : {L"X", L"a"})
        EXPECT_EQ(window->SwitchTo(profile), -1) << profile;
    EXPECT_TRUE(sim->Calls().empty()) << "no adapter was turned to DHCP";
    EXPECT_EQ(ProgressWindow(), nullptr);
    EXPECT_EQ(Read(L"NET", L"NET"), L"X");
}

TEST_F(MainWindow, ConnectionNameIsLookedUpOnceFromTheFirstIpEnabledAdapter) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    EXPECT_TRUE(window->WmiConnection1->Connected()) << "connected while the window was created";
    sim->Adapters()[0].IPEnabled = false;
    sim->Adapters()[1].NetConnectionID = L"办公网 2";
    sim->ClearCalls();
    ASSERT_EQ(window->SwitchTo(L"A"), 0);
    EXPECT_EQ(window->ConnectionName(), L"办公网 2");
    const auto& queries = sim->Queries();
    ASSERT_GE(queries.size(), 2u);
    // The query text is the WQL list's text: each line ends in a line break.
    EXPECT_EQ(queries[0],
              L"select * from Win32_NetworkAdapterConfiguration where IPEnabled = true\r\n");
    EXPECT_EQ(queries[1], L"select * from   Win32_NetworkAdapter  where index=8\r\n");

    // Kept for the life of the process, even when the adapter is renamed.
    sim->Adapters()[1].NetConnectionID = L"改名了";
    sim->ClearCalls();
    ASSERT_EQ(window->SwitchTo(L"B"), 0);
    EXPECT_EQ(window->ConnectionName(), L"办公网 2");
    for (const std::wstring& query : sim->Queries())
        EXPECT_EQ(query.find(L"Win32_NetworkAdapter "), std::wstring::npos);
}

TEST_F(MainWindow, ConnectionNameFallsBackWhenNoAdapterIsFound) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    for (TSimAdapter& adapter : sim->Adapters())
        adapter.IPEnabled = false;
    EXPECT_EQ(window->GetConnectionName(), L"本地连接");
    EXPECT_FALSE(window->WmiQuery1->Active());
}

} // namespace
