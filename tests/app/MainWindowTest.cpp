// The main window with the simulated adapters: marking, switching, hovering, closing, reconnects.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <wbemcli.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <utility>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/MainWindow.h"
#include "core/NetworkProbe.h"
#include "widgets/TrayIconHandler.h"
#include "core/NetshEngine.h"
#include "app/ProgressWindow.h"
#include "core/Settings.h"
#include "core/ProfileSwitch.h"
#include "core/WmiEngine.h"
#include "fakes/SimulatedWmi.h"
#include "framework/Application.h"
#include "framework/Dib.h"
#include "framework/Exception.h"
#include "framework/JpegPicture.h"
#include "framework/Strings.h"
#include "sim/SimNetsh.h"
#include "support/DialogAnswerer.h"
#include "support/DpiLayout.h"
#include "support/FakeNetsh.h"
#include "support/ImportHook.h"
#include "support/MessageBoxes.h"
#include "support/Seams.h"
#include "support/Pumping.h"
#include "support/TempFolder.h"
#include "support/WindowHooks.h"
#include "wmi/WmiComponent.h"

namespace {

const COLORREF kLime = RGB(0, 255, 0);
const COLORREF kWhite = RGB(255, 255, 255);

// What the program asked of the process's COM security, recorded instead of set.
struct TSecurityRequest {
    int Calls = 0;
    bool Descriptor = false;
    LONG AuthServices = 0;
    DWORD AuthnLevel = 0;
    DWORD ImpLevel = 0;
    bool AuthList = false;
    DWORD Capabilities = 0;
    size_t WindowsBefore = 0;
};
TSecurityRequest SecurityRequest;

HRESULT WINAPI RecordSecurity(PSECURITY_DESCRIPTOR descriptor, LONG authServices,
                              SOLE_AUTHENTICATION_SERVICE*, void*, DWORD authnLevel, DWORD impLevel,
                              void* authList, DWORD capabilities, void*) {
    TSecurityRequest& r = SecurityRequest;
    ++r.Calls;
    r.Descriptor = descriptor != nullptr;
    r.AuthServices = authServices;
    r.AuthnLevel = authnLevel;
    r.ImpLevel = impLevel;
    r.AuthList = authList != nullptr;
    r.Capabilities = capabilities;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND, LPARAM count) -> BOOL {
            ++*reinterpret_cast<size_t*>(count);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&r.WindowsBefore));
    return S_OK;
}

using TestableMainWindow = TfrmMainWindow;

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        // A fresh provider for every test, with its two default adapters.
        sim = &TSimulatedWmi::Install();
        sim->SetTwoAdapters();
        configPath = ExecutableFolder() + L"Config.ini";
    }
    void TearDown() override {
        owner.DestroyComponents();
        CloseProgress();
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
    TestableMainWindow* Create(bool simulated = false) {
        window = owner.Own<TestableMainWindow>(simulated);
        // The clock is the test's; a network that does not answer is given little time.
        window->AutoSwitch().SetClock([this] { return Now; });
        window->AutoSwitch().SetProbeTimes({200, 200, 50});
        return window;
    }
    // A connect of the adapter the events name none of, judged to the end.
    void Reconnect() {
        window->netEvent1NetworkConnect(nullptr, L"");
        Settle();
    }
    void Disconnect() { window->netEvent1NetworkDisconnect(nullptr, L""); }
    // Until the network has answered whatever was asked of it.
    void Settle() {
        ASSERT_TRUE(PumpUntil([&] { return !window->AutoSwitch().Asking(); }));
    }
    void DoubleClick(TGraphicControl* label) {
        const RECT r = label->BoundsRect();
        SendMessageW(window->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON,
                     MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    }

    const std::string profiles = "[A]\r\nName=Office\r\nIPAddress=10.0.0.5\r\nDNSEnabled=1\r\n"
                                 "[B]\r\nNAME=Internet\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n";
    // netsh is given the mask as it stands: an empty one it refuses.
    const std::string netshProfiles = "[A]\r\nName=Office\r\nIPAddress=10.0.0.5\r\n"
                                      "IPSubnet=255.255.255.0\r\nDNSEnabled=1\r\n"
                                      "[B]\r\nNAME=Internet\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n";
    TComponent owner;
    TSimulatedWmi* sim = nullptr;
    TestableMainWindow* window = nullptr;
    uint64_t Now = 1000;
    // The fake netsh hands its commands to the simulated adapters.
    TSimNetshReceiver netshReceiver;
    std::vector<std::wstring> messages;
    const ScopedMessageBoxes recorder = RecordMessageBoxes(messages);
    std::wstring configPath;
};

TEST_F(MainWindow, MovedToAnotherScaleItIsLaidOutAsIfMadeThere) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    TestableMainWindow* large = nullptr;
    {
        ScopedDpi dpi(144);
        large = owner.Own<TestableMainWindow>(false);
    }
    {
        ScopedDpi dpi(96);
        Create();
    }
    MoveToDpi(*window, 144, *large);
    ExpectSameLayout(LayoutOf(*window), LayoutOf(*large));
    // The picture and the labels' text and effects drawn at the new scale, as in the window
    // made there.
    const std::vector<DWORD> moved = ClientPixels(*window);
    EXPECT_GT(std::set<DWORD>(moved.begin(), moved.end()).size(), 100u) << "nothing painted";
    EXPECT_TRUE(moved == ClientPixels(*large));
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindow, StartMarksTheRecordedProfileWithoutTouchingTheAdapters) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    EXPECT_EQ(window->AANetB->Caption(), L"√外网");
    EXPECT_EQ(window->AANetB->Font().Color(), kLime);
    EXPECT_EQ(window->AANetA->Caption(), L"×内网");
    EXPECT_EQ(window->AANetA->Font().Color(), kWhite);
    EXPECT_EQ(window->Caption(), L"Tarnwick");
    EXPECT_TRUE(window->Timer1->Enabled()) << "hides itself at the first pass of the message loop";
    EXPECT_TRUE(window->GoesToTray()) << "so the program does not show it first";
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
    DialogAnswerer answerer;
    Create();
    EXPECT_EQ(answerer.Opened, 1) << "the first run opens the configuration dialog";
    EXPECT_EQ(Application().MainForm(), nullptr) << "the dialog never became the main form";
    EXPECT_EQ(messages, std::vector<std::wstring>{L"初次运行，需要设置您的IP地址！"});
    EXPECT_FALSE(window->Timer1->Enabled());
    EXPECT_FALSE(window->GoesToTray()) << "the program shows it";
    EXPECT_EQ(window->AANetA->Caption(), L"×内网");
    EXPECT_EQ(window->AANetB->Caption(), L"×外网");
    EXPECT_EQ(window->AANetA->Font().Color(), kLime)
        << "both keep their stored colour until hovered";
    EXPECT_EQ(Read(L"NET", L"NET"), L"");
}

TEST_F(MainWindow, ConfirmedFirstRunSavesButAppliesNothingWithoutAnActiveProfile) {
    Config(profiles);
    DialogAnswerer answerer(true);
    Create();
    EXPECT_EQ(answerer.Opened, 1);
    EXPECT_TRUE(sim->Calls().empty()) << "no active profile yet: nothing to apply";
    EXPECT_EQ(Read(L"A", L"IPAddress"), L"10.0.0.5");
    EXPECT_EQ(Read(L"A", L"DHCPEnabled"), L"0");
    EXPECT_EQ(Read(L"NET", L"AutoSwitch"), L"0");
}

TEST_F(MainWindow, ConfirmedSettingsApplyTheActiveProfileAgain) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    DialogAnswerer answerer(true);
    window->lbl1Click(window->lbl1);
    EXPECT_EQ(answerer.Opened, 1);
    EXPECT_FALSE(sim->Calls().empty()) << "profile B was applied again";
    EXPECT_EQ(Read(L"NET", L"NET"), L"B");
}

TEST_F(MainWindow, SettingsAreRefusedWhileASwitchRuns) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    DialogAnswerer answerer;
    int nested = 0;
    sim->OnCall = [&](const TSimCall&) {
        if (nested++ == 0) window->lbl1Click(window->lbl1);
    };
    DoubleClick(window->AANetA);
    sim->OnCall = nullptr;
    EXPECT_EQ(answerer.Opened, 0) << "the dialog opened inside a running switch";
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
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
    sim->SetResult(L"EnableStatic", 66);
    EXPECT_EQ(window->SwitchTo(L"A"), 66);
    EXPECT_EQ(messages,
              std::vector<std::wstring>{L"切换IP地址不成功，请检查你您的ip设置.\n子网掩码无效"});
    EXPECT_EQ(Read(L"NET", L"NET"), L"B");
    EXPECT_EQ(window->AANetB->Caption(), L"√外网");
    EXPECT_EQ(window->AANetA->Caption(), L"×内网");
    EXPECT_EQ(ProgressWindow(), nullptr);
}

TEST_F(MainWindow, RestartNeededSwitchIsMarkedAndSaidOnce) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    // Every adapter answers 1 in both steps: one switch, one message.
    sim->SetResult(L"EnableStatic", 1);
    sim->SetResult(L"SetDNSServerSearchOrder", 1);
    EXPECT_EQ(window->SwitchTo(L"A"), 0);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"IP地址已切换，重新启动计算机后生效。"});
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
    EXPECT_EQ(window->AANetA->Caption(), L"√内网");
}

TEST_F(MainWindow, ReconnectShowsTheSameFailureBoxWithItsCause) {
    Config("[NET]\r\nNET=A\r\nAutoSwitch=1\r\n" + profiles);
    Create();
    sim->SetResult(L"EnableDHCP", 66);
    Now = 1000;
    Disconnect();
    Reconnect();
    EXPECT_EQ(messages, std::vector<std::wstring>{L"切换IP地址不成功，请检查你您的ip设置.\n"
                                                  L"子网掩码无效"});
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
}

TEST_F(MainWindow, UnreachableServiceIsReportedAfterTheProgressWindowHasGone) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    bool progressGone = false;
    const ScopedMessageBoxes boxGuard(
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
    EXPECT_EQ(sim->Calls().size(), 6u) << "only the first switch reached the adapters";
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");

    // The same through the message queue: a slow adapter dispatches waiting input meanwhile.
    sim->ClearCalls();
    sim->SetDelay(30);
    const RECT r = window->AANetA->BoundsRect();
    PostMessageW(window->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.left + 5, r.top + 5));
    DoubleClick(window->AANetB);
    sim->SetDelay(0);
    std::wstring calls;
    for (const TSimCall& call : sim->Calls())
        calls += std::to_wstring(call.AdapterIndex) + L" " + call.Method + L"; ";
    EXPECT_EQ(sim->Calls().size(), 4u) << calls;
    EXPECT_EQ(Read(L"NET", L"NET"), L"B");
}

TEST_F(MainWindow, NetshMessagePassNeverStartsASecondSwitch) {
    Config("[NET]\r\nNET=B\r\nMethod=B\r\n" + netshProfiles);
    Create();
    TempFolder folder;
    const ScopedFakeNetsh netsh(folder.File(L"netsh.log"));
    // Waits in the queue while netsh runs; the pass after the last command dispatches it.
    const RECT r = window->AANetB->BoundsRect();
    PostMessageW(window->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.left + 5, r.top + 5));
    EXPECT_EQ(window->SwitchTo(L"A"), 0);
    const std::string log = folder.ReadBytes(L"netsh.log");
    EXPECT_EQ(log.find("dhcp"), std::string::npos) << "profile B was applied as well:\n" << log;
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
    EXPECT_EQ(window->AANetB->Caption(), L"×外网");
}

TEST_F(MainWindow, HoverUnderlinesAndLeavingRestoresTheStateColour) {
    Config("[NET]\r\nNET=A\r\n" + profiles);
    Create();
    for (TAALabel* label : {window->AANetA, window->AANetB}) {
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

// The profile labels' stored look; the font follows the DPI, the shadow stays in pixels.
TEST_F(MainWindow, ProfileLabelsAreEffectLabelsWithTheirStoredSettings) {
    Config("[NET]\r\nNET=A\r\n" + profiles);
    Create();
    for (TAALabel* label : {window->AANetA, window->AANetB}) {
        EXPECT_EQ(label->Font().Name(), L"黑体");
        EXPECT_EQ(label->Font().Height(), window->Scale(37));
        EXPECT_EQ(label->Font().Charset(), GB2312_CHARSET);
        EXPECT_EQ(label->Font().Style(), 0u);
        EXPECT_TRUE(label->Effect().Transparent());
        const TAAEffect& effect = label->Effect().FontEffect();
        EXPECT_TRUE(effect.Shadow().Enabled());
        EXPECT_EQ(effect.Shadow().Blur(), 100);
        EXPECT_EQ(effect.Shadow().Color(), 0u);
        EXPECT_EQ(effect.Shadow().Alpha(), 70);
        EXPECT_EQ(effect.Shadow().OffsetX(), 2);
        EXPECT_EQ(effect.Shadow().OffsetY(), 2);
        EXPECT_TRUE(effect.Outline());
        EXPECT_FALSE(effect.Gradual().Enabled());
        EXPECT_EQ(effect.Gradual().Style(), gsTopToBottom);
        EXPECT_EQ(effect.Gradual().StartColor(), kLime);
        EXPECT_EQ(effect.Gradual().EndColor(), kLime);
        EXPECT_FALSE(label->ParentEffect().ParentFont());
        EXPECT_FALSE(label->ParentEffect().ParentShowHint());
        EXPECT_TRUE(label->ShowHint());
        EXPECT_EQ(label->Hint(), L"双击切换");
        EXPECT_EQ(label->Cursor(), IDC_HAND);
        EXPECT_TRUE(label->Ready());
        EXPECT_EQ(label->Left(), window->Scale(143));
        EXPECT_GT(label->Width(), 0);
    }
    EXPECT_EQ(window->AANetB->Top(), window->Scale(149));
}

TEST_F(MainWindow, ClosingHidesAndOnlyExitOrLogOffEnds) {
    Config("[NET]\r\nNET=A\r\n" + profiles);
    Create();
    window->Show();
    SendMessageW(window->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(window->HandleAllocated());
    EXPECT_FALSE(IsWindowVisible(window->Handle())) << "hidden to the tray";
    EXPECT_TRUE(window->TrayIcon1->IconVisible());
    // Alt+F4 and the close box arrive as this system command.
    window->Show();
    SendMessageW(window->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(window->HandleAllocated());
    EXPECT_FALSE(IsWindowVisible(window->Handle()));

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

TEST_F(MainWindow, NotElevatedNoSwitchStartsAndARestartAsAdministratorIsOffered) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    const ScopedSeam notElevated(&SetProcessElevatedFunction, [] { return false; });
    std::vector<std::wstring> offers;
    int answer = IDNO;
    std::vector<UINT> buttons;
    const auto answerer = AnswerMessageBoxes(offers, buttons, answer);
    std::vector<std::wstring> restarts;
    bool tookOver = false;
    window->OnRestartElevated = [&](const std::wstring& profile, HWND owner) {
        EXPECT_EQ(owner, window->Handle()) << "the prompt is owned by the window that asked";
        restarts.push_back(profile);
        return tookOver;
    };
    const auto bytes = [&] {
        std::string text;
        FILE* f = _wfopen(configPath.c_str(), L"rb");
        for (int c; f && (c = fgetc(f)) != EOF;)
            text += static_cast<char>(c);
        if (f) fclose(f);
        return text;
    };
    const std::string before = bytes();

    DoubleClick(window->AANetA);
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_EQ(offers[0].rfind(L"需要以管理员身份运行 Tarnwick。\n", 0), 0u) << "said first";
    EXPECT_NE(offers[0].find(L"Office"), std::wstring::npos) << "names the profile";
    EXPECT_TRUE(restarts.empty()) << "No changes nothing";
    // Yes, and the prompt refused: nothing more is said, and the program goes on.
    answer = IDYES;
    DoubleClick(window->AANetA);
    EXPECT_EQ(restarts, std::vector<std::wstring>{L"A"});
    EXPECT_EQ(offers.size(), 2u);
    EXPECT_TRUE(window->HandleAllocated());
    EXPECT_TRUE(sim->Calls().empty()) << "no adapter method was called";
    EXPECT_EQ(window->AANetB->Caption(), L"√外网");
    EXPECT_EQ(bytes(), before) << "Config.ini untouched";

    // Yes, and the elevated copy took over: this one ends.
    tookOver = true;
    Application().SetMainForm(window);
    DoubleClick(window->AANetB);
    EXPECT_EQ(restarts.back(), L"B");
    PumpUntil([&] { return !window->HandleAllocated(); }, 2000);
    Application().SetMainForm(nullptr);
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    EXPECT_FALSE(window->HandleAllocated());
    EXPECT_TRUE(sim->Calls().empty());
    EXPECT_EQ(buttons, std::vector<UINT>(offers.size(), MB_YESNO)) << "each asked Yes or No";
}

TEST_F(MainWindow, ReconnectWithinAMinuteTogglesTheProfile) {
    Config("[NET]\r\nNET=A\r\nAutoSwitch=1\r\n" + profiles);
    Create();
    Now = 5000;
    Disconnect();
    Now = 65001;
    Reconnect();
    EXPECT_EQ(Read(L"NET", L"NET"), L"A") << "60 001 ms is too late";
    Now = 65000;
    Reconnect();
    EXPECT_EQ(Read(L"NET", L"NET"), L"B");
    const size_t calls = sim->Calls().size();
    Reconnect();
    EXPECT_EQ(Read(L"NET", L"NET"), L"B") << "one switch per disconnect";
    EXPECT_EQ(sim->Calls().size(), calls);

    // Past 24.8 and 49.7 days of uptime, where 32-bit arithmetic misjudges the minute.
    const uint64_t days25 = 25ull * 24 * 3600 * 1000, wrap = 1ull << 32;
    Now = days25;
    Disconnect();
    Now = days25 + 1000;
    Reconnect();
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
    Disconnect();
    Now = days25 + 1000 + wrap;
    Reconnect();
    EXPECT_EQ(Read(L"NET", L"NET"), L"A") << "a disconnect 49.7 days old is no reconnect";
}

TEST_F(MainWindow, ReconnectNeedsADisconnectSeenAndTheProgramNotEnding) {
    Config("[NET]\r\nNET=A\r\nAutoSwitch=1\r\n" + profiles);
    Create();
    Now = 1000; // the first connect after a boot
    Reconnect();
    EXPECT_TRUE(sim->Calls().empty());
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");

    Disconnect();
    Application().SetMainForm(window);
    window->Exit1->Click();
    Application().SetMainForm(nullptr);
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    Reconnect();
    EXPECT_TRUE(sim->Calls().empty()) << "no switch starts once 退出 has begun";
}

TEST_F(MainWindow, ReconnectDuringASwitchStartsNoSecondAndAFailureIsReported) {
    Config("[NET]\r\nNET=A\r\nAutoSwitch=1\r\n" + profiles);
    Create();
    Now = 1000;
    Disconnect();
    int nested = 0;
    sim->OnCall = [&](const TSimCall&) {
        if (nested++) return;
        Now = 2000;
        Disconnect(); // still recorded
        Reconnect();
    };
    const size_t callsOfOneSwitch = [&] {
        Reconnect();
        return sim->Calls().size();
    }();
    sim->OnCall = nullptr;
    EXPECT_EQ(Read(L"NET", L"NET"), L"B");
    EXPECT_GT(callsOfOneSwitch, 0u);
    Now = 62000; // within a minute of the disconnect seen during the switch
    const size_t before = sim->Calls().size();
    Reconnect();
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
    EXPECT_GT(sim->Calls().size(), before);

    std::vector<NOTIFYICONDATAW> balloons;
    const ScopedSeam balloonsOnly(&TTrayIcon::SetNotifyIconFunction,
                                  [&](DWORD, NOTIFYICONDATAW* data) {
                                      if ((data->uFlags & NIF_INFO) && data->szInfo[0])
                                          balloons.push_back(*data);
                                      return TRUE;
                                  });
    UINT boxFlags = 0;
    const ScopedMessageBoxes boxGuard([&](const std::wstring& text, const std::wstring&, UINT f) {
        messages.push_back(text);
        boxFlags = f;
        return IDOK;
    });
    sim->SetServiceError(0x8004100E);
    messages.clear();
    Disconnect();
    Reconnect();
    EXPECT_EQ(messages.size(), 1u) << "the failed automatic switch is not silent";
    EXPECT_TRUE(boxFlags & MB_ICONERROR) << "the standard error box";
    EXPECT_TRUE(balloons.empty());
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
}

TEST_F(MainWindow, ReconnectDoesNothingWithoutAnActiveProfileOrTheOption) {
    Config("[NET]\r\nNET=X\r\nAutoSwitch=1\r\n" + profiles);
    Create();
    Reconnect();
    EXPECT_TRUE(sim->Calls().empty());
    EXPECT_EQ(window->ToggleProfile(), -1);

    Config("[NET]\r\nNET=A\r\nAutoSwitch=0\r\n" + profiles);
    Reconnect();
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

TEST_F(MainWindow, ASwitchThatChangesNoAdapterFailsAndRecordsNothing) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    for (TSimAdapter& adapter : sim->Adapters())
        adapter.IPEnabled = false;
    std::vector<std::wstring> boxes;
    const ScopedMessageBoxes boxGuard([&](const std::wstring& text, const std::wstring&, UINT) {
        boxes.push_back(text);
        return IDOK;
    });
    EXPECT_NE(window->SwitchTo(L"A"), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(NoAdapterCause), std::wstring::npos) << boxes[0];
    EXPECT_EQ(Read(L"NET", L"NET"), L"B");
    EXPECT_NE(window->AANetB->Caption().find(L"√"), std::wstring::npos);
}

TEST_F(MainWindow, SimulationSaysSoInTheCaptionOnly) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    std::vector<std::wstring> captions;
    const ScopedMessageBoxes boxGuard([&](const std::wstring&, const std::wstring& caption, UINT) {
        captions.push_back(caption);
        return IDOK;
    });
    Create(true);
    EXPECT_EQ(window->Caption(), L"Tarnwick - 模拟");
    EXPECT_EQ(Application().Title(), L"Tarnwick");
    sim->SetResult(L"EnableStatic", 1);
    window->SwitchTo(L"A");
    EXPECT_EQ(captions, std::vector<std::wstring>{L"Tarnwick"}) << "boxes keep the plain title";
}

TEST_F(MainWindow, ClientAreaFitsThePictureWhateverFrameTheSystemDraws) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    for (const int extraFrame : {0, 12}) {
        WindowHooks hooks(extraFrame);
        Create();
        const RECT client = window->ClientRect();
        EXPECT_EQ(client.right, window->Scale(399)) << "frame +" << extraFrame;
        EXPECT_EQ(client.bottom, window->Scale(239)) << "frame +" << extraFrame;
        RECT outer{}, predicted{0, 0, client.right, client.bottom};
        GetWindowRect(window->Handle(), &outer);
        AdjustWindowRectEx(&predicted,
                           static_cast<DWORD>(GetWindowLongW(window->Handle(), GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongW(window->Handle(), GWL_EXSTYLE)));
        EXPECT_EQ(outer.right - outer.left, predicted.right - predicted.left + 2 * extraFrame)
            << "the frame the test gave the window";
        EXPECT_EQ(outer.bottom - outer.top, predicted.bottom - predicted.top + 3 * extraFrame);
        owner.Destroy(window);
    }
}

// At 100% the top left 399 x 239 pixels of the 400 x 240 picture are the window's, unchanged;
// at 150% the picture as the platform itself stretches it to 600 x 360.
TEST_F(MainWindow, BackgroundIsThePictureAsDecodedAtOneHundredAndAsStretchedAt150Percent) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    TJpegPicture jpeg;
    jpeg.LoadFromResource(L"BACKGROUND");
    ASSERT_EQ(jpeg.Width(), 400);
    ASSERT_EQ(jpeg.Height(), 240);
    for (const int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        {
            ScopedDpi scale(dpi);
            Create();
        }
        for (TGraphicControl* label :
             std::initializer_list<TGraphicControl*>{window->lbl1, window->AANetA, window->AANetB})
            label->SetVisible(false);
        const int width = window->Scale(399), height = window->Scale(239);
        const int pictureWidth = window->Scale(400), pictureHeight = window->Scale(240);
        void* bits = nullptr;
        ScopedBitmap shot = CreateTopDownDib(width, height, 32, &bits);
        void* expectedBits = nullptr;
        ScopedBitmap expected = CreateTopDownDib(pictureWidth, pictureHeight, 32, &expectedBits);
        ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
        {
            ScopedSelectObject select(dc.Get(), shot.Get());
            ASSERT_TRUE(PrintWindow(window->Handle(), dc.Get(), PW_CLIENTONLY));
        }
        {
            ScopedSelectObject select(dc.Get(), expected.Get());
            jpeg.StretchDraw(dc.Get(), RECT{0, 0, pictureWidth, pictureHeight});
        }
        GdiFlush();
        const auto* painted = static_cast<const uint32_t*>(bits);
        const auto* wanted = static_cast<const uint32_t*>(expectedBits);
        int differing = 0;
        std::string first;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                if ((painted[y * width + x] & 0xFFFFFF) ==
                    (wanted[y * pictureWidth + x] & 0xFFFFFF))
                    continue;
                if (differing++ == 0) first = std::to_string(x) + "," + std::to_string(y);
            }
        EXPECT_EQ(differing, 0) << "the first at " << first;
        owner.Destroy(window);
    }
}

TEST_F(MainWindow, OrdinaryStartHidesOnceAtTheFirstPassOfTheMessageLoop) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    WindowHooks hooks;
    Create();
    window->Show();
    EXPECT_TRUE(IsWindowVisible(window->Handle())) << "not before the message loop runs";
    // The one-shot timer has 1 ms: a few hundred let a timer left running fire again.
    const DWORD until = GetTickCount() + 300;
    while (static_cast<int>(until - GetTickCount()) > 0) {
        Application().ProcessMessages();
        Sleep(5);
    }
    EXPECT_FALSE(window->Timer1->Enabled());
    EXPECT_FALSE(IsWindowVisible(window->Handle())) << "in the tray";
    EXPECT_EQ(hooks.Minimises, 0) << "hidden, not minimised: it comes back where it was";
    window->ShowWindow1Click(window);
    EXPECT_TRUE(IsWindowVisible(window->Handle()));
    window->HideWindow1Click(window);
    EXPECT_FALSE(IsWindowVisible(window->Handle()));
}

TEST_F(MainWindow, NetshIsToldTheConnectionNameOfTheAdapter) {
    Config("[NET]\r\nNET=B\r\nMethod=B\r\n" + netshProfiles);
    Create();
    TempFolder folder;
    const ScopedFakeNetsh netsh(folder.File(L"netsh.log"));
    sim->Adapters()[0].NetConnectionID = L"实验网 3";
    ASSERT_EQ(window->SwitchTo(L"A"), 0);
    const std::string log = folder.ReadBytes(L"netsh.log");
    EXPECT_NE(log.find(ToUtf8(L"set address \"实验网 3\" static 10.0.0.5")), std::string::npos)
        << log;
    EXPECT_EQ(log.find(ToUtf8(L"以太网")), std::string::npos) << log;
}

TEST_F(MainWindow, StartsWhileWmiIsUnreachableAndConnectsAtTheFirstSwitch) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    std::vector<UINT> flags;
    const ScopedMessageBoxes boxGuard([&](const std::wstring& text, const std::wstring&, UINT f) {
        messages.push_back(text);
        flags.push_back(f);
        return IDOK;
    });
    sim->SetServiceError(static_cast<HRESULT>(0x800706BA)); // the RPC server is unavailable
    Create();
    ASSERT_TRUE(window->HandleAllocated());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(flags[0] & MB_ICONERROR) << "the standard error box";
    EXPECT_FALSE(window->WmiConnection1->Connected());
    EXPECT_EQ(window->AANetB->Caption(), L"√外网") << "the rest of the start-up ran";
    EXPECT_TRUE(window->Timer1->Enabled());

    sim->SetServiceError(S_OK);
    EXPECT_EQ(window->SwitchTo(L"A"), 0);
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
}

TEST_F(MainWindow, AStartUpStepThatRaisesIsReportedAndTheWindowStays) {
    Config(profiles);
    const std::wstring firstRun = L"初次运行，需要设置您的IP地址！";
    const ScopedMessageBoxes boxGuard([&](const std::wstring& text, const std::wstring&, UINT) {
        messages.push_back(text);
        if (text == firstRun) throw Exception(L"Out of resources");
        return IDOK;
    });
    DialogAnswerer answerer;
    Create();
    EXPECT_EQ(messages, (std::vector<std::wstring>{firstRun, L"Out of resources"}));
    ASSERT_TRUE(window->HandleAllocated());
    EXPECT_EQ(window->Caption(), L"Tarnwick");
    EXPECT_FALSE(window->Timer1->Enabled()) << "not an ordinary start: the window stays";
}

// The program chains the security set-up into the application's start-up, which runs before it
// creates any window. Run on a thread of its own, where the set-up has not run yet.
TEST(ProgramStart, SetsComSecurityForWmiWhenTheApplicationInitialises) {
    void* real = reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ole32.dll"), "CoInitializeSecurity"));
    ImportHook hook(real, reinterpret_cast<void*>(&RecordSecurity));
    ASSERT_TRUE(hook.Installed());
    SecurityRequest = {};
    ChainComSecurityIntoStartup();
    std::packaged_task<void()> start([] { Application().Initialize(); });
    std::future<void> done = start.get_future();
    std::thread thread(std::move(start));
    const bool finished = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (!finished) {
        thread.detach(); // the watchdog: a hung start-up fails instead of stalling the run
        FAIL() << "the start-up did not finish";
    }
    thread.join();
    const TSecurityRequest& r = SecurityRequest;
    ASSERT_EQ(r.Calls, 1);
    EXPECT_EQ(r.WindowsBefore, 0u);
    EXPECT_FALSE(r.Descriptor);
    EXPECT_EQ(r.AuthServices, -1) << "the system chooses";
    EXPECT_EQ(r.AuthnLevel, static_cast<DWORD>(RPC_C_AUTHN_LEVEL_DEFAULT));
    EXPECT_EQ(r.ImpLevel, static_cast<DWORD>(RPC_C_IMP_LEVEL_IMPERSONATE)) << "WMI needs it";
    EXPECT_FALSE(r.AuthList);
    EXPECT_EQ(r.Capabilities, static_cast<DWORD>(EOAC_NONE));
}

} // namespace

TEST_F(MainWindow, LivesInTheTrayWithItsMenuAndTheActiveProfileAsHint) {
    Config("[NET]\r\nNET=B\r\n" + profiles);
    Create();
    TTrayIcon* tray = window->TrayIcon1;
    EXPECT_EQ(tray->Hint(), L"Internet");
    EXPECT_TRUE(tray->IconVisible());
    EXPECT_TRUE(tray->CycleIcons());
    EXPECT_EQ(tray->IconList()->Count(), 8);
    ASSERT_EQ(window->pm1->Count(), 4u);
    EXPECT_EQ(window->pm1->DefaultItem(), window->ShowWindow1);
    EXPECT_EQ(window->ShowWindow1->Caption(), L"打开窗口");
    EXPECT_EQ(window->HideWindow1->Caption(), L"隐藏窗口");
    EXPECT_TRUE(window->N2->IsSeparator());
    EXPECT_EQ(window->Exit1->Caption(), L"退出");

    // Minimising hides the window and its taskbar button; a double click on the icon brings
    // it back in front, where it was.
    window->Show();
    PumpFor(50); // the start hides it
    EXPECT_FALSE(IsWindowVisible(window->Handle()));
    window->ShowWindow1Click(window);
    RECT before{};
    GetWindowRect(window->Handle(), &before);
    SendMessageW(window->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(window->Handle()));
    PostMessageW(TTrayIconHandler::Instance()->Window(), WM_TRAYNOTIFY, tray->Id(),
                 WM_LBUTTONDBLCLK);
    PumpFor(50);
    EXPECT_TRUE(IsWindowVisible(window->Handle()));
    EXPECT_FALSE(IsIconic(window->Handle()));
    RECT after{};
    GetWindowRect(window->Handle(), &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);

    // A profile without a name shows the title.
    Config("[NET]\r\nNET=B\r\n[A]\r\nName=Office\r\n");
    window->MarkActive(L"B");
    EXPECT_EQ(tray->Hint(), L"Tarnwick");

    Application().SetMainForm(window);
    window->Exit1->Click();
    EXPECT_FALSE(window->HandleAllocated()) << "退出 ends the program";
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    Application().SetMainForm(nullptr);
}

TEST_F(MainWindow, ReconnectSwitchSaysSoInABalloon) {
    std::vector<NOTIFYICONDATAW> balloons;
    const ScopedSeam balloonsOnly(&TTrayIcon::SetNotifyIconFunction,
                                  [&](DWORD, NOTIFYICONDATAW* data) {
                                      if ((data->uFlags & NIF_INFO) && data->szInfo[0])
                                          balloons.push_back(*data);
                                      return TRUE;
                                  });
    Config("[NET]\r\nNET=A\r\nAutoSwitch=1\r\n" + profiles);
    Create();
    Now = 1000;
    Disconnect();
    Reconnect();
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(std::wstring(balloons[0].szInfoTitle), L"提示");
    // Nothing answers on this network: the lease of B did not come.
    EXPECT_EQ(std::wstring(balloons[0].szInfo), L"网络切换到：\rInternet\r但未找到该网络的网关");
    EXPECT_EQ(balloons[0].uTimeout, 10000u);
    EXPECT_EQ(balloons[0].dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
}

// Every gateway answers with one hardware address, or none does, each try taking that long;
// no lease ever comes.
class TFixedNetwork : public INetworkProbe {
public:
    TFixedNetwork(std::optional<std::wstring> gateway, DWORD tryMs)
        : FGateway(std::move(gateway)), FTryMs(tryMs) {}
    std::optional<std::wstring> GatewayHardwareAddress(const std::wstring&,
                                                       const std::wstring&) override {
        Sleep(FTryMs);
        return FGateway;
    }
    std::optional<TDhcpLease> Lease(const std::wstring&) override { return std::nullopt; }

private:
    const std::optional<std::wstring> FGateway;
    const DWORD FTryMs;
};

TEST_F(MainWindow, CableBackInTheSameNetworkSwitchesNothingAndTheTipSaysSo) {
    // The one router of a network, answering at once.
    TFixedNetwork router(L"00-11-22-33-44-55", 0);
    const ScopedSeam<INetworkProbe*> network(&SetNetworkProbe, &router);
    Config("[NET]\r\nNET=A\r\nAutoSwitch=1\r\n[A]\r\nName=Office\r\nIPAddress=10.0.0.5\r\n"
           "DefaultIPGateway=10.0.0.1\r\nDNSEnabled=1\r\n[B]\r\nDHCPEnabled=1\r\n");
    Create();
    Disconnect();
    Reconnect();
    EXPECT_TRUE(sim->Calls().empty());
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
    EXPECT_EQ(window->TrayHint(), L"Office\n网络未变");
    EXPECT_EQ(Read(L"A", L"LearnedGatewayMAC"), L"00-11-22-33-44-55");
    // A switch the user makes learns its network too, and the tip is the profile's again.
    WritePrivateProfileStringW(L"A", L"LearnedGatewayMAC", nullptr, configPath.c_str());
    ASSERT_EQ(window->SwitchTo(L"A"), 0);
    Settle();
    EXPECT_EQ(window->TrayHint(), L"Office");
    EXPECT_EQ(Read(L"A", L"LearnedGatewayMAC"), L"00-11-22-33-44-55");
}

TEST_F(MainWindow, BothWindowsKeepAnsweringWhileTheNetworkTakesItsFullTime) {
    // A gateway that never answers, each try taking the full three seconds Windows' own can.
    TFixedNetwork slow(std::nullopt, 3000);
    const ScopedSeam<INetworkProbe*> network(&SetNetworkProbe, &slow);
    Config("[NET]\r\nNET=A\r\nAutoSwitch=1\r\n[A]\r\nIPAddress=10.0.0.5\r\n"
           "DefaultIPGateway=10.0.0.1\r\nDNSEnabled=1\r\n[B]\r\nDHCPEnabled=1\r\n");
    Create();
    window->AutoSwitch().SetProbeTimes({3000, 3000, 500});
    Disconnect();
    window->netEvent1NetworkConnect(nullptr, L"");
    ASSERT_TRUE(window->AutoSwitch().Asking());
    const HWND windows[] = {window->Handle(), TTrayIconHandler::Instance()->Window()};
    // The switch itself holds the windows, as it always has: only the question is measured.
    std::atomic<bool> done = false, switching = false;
    sim->OnCall = [&](const TSimCall&) { switching = true; };
    DWORD worst = 0, answered = 0;
    std::thread measure([&] {
        while (!done && !switching) {
            for (const HWND target : windows) {
                const ULONGLONG start = GetTickCount64();
                DWORD_PTR result = 0;
                const bool answer =
                    SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result);
                if (switching) break;
                answered += answer;
                worst = std::max(worst, static_cast<DWORD>(GetTickCount64() - start));
            }
            Sleep(50);
        }
    });
    // The reconnect's question takes its full time, then the switch to B.
    const bool switched = PumpUntil([&] { return Read(L"NET", L"NET") == L"B"; }, 10000);
    done = true;
    measure.join();
    sim->OnCall = nullptr;
    EXPECT_TRUE(switched);
    EXPECT_GT(answered, 40u);
    EXPECT_LT(worst, 250u) << "the slowest answer of either window, in ms";
}

// Media events through the watcher, from the default laptop's adapters.
TEST_F(MainWindow, ReconnectHearsOnlyTheAdapterItSwitches) {
    const wchar_t wired[] = L"Intel(R) PRO/1000 MT Network Connection";
    const wchar_t wifi[] = L"Intel(R) Wi-Fi 6 AX201 160MHz";
    const wchar_t usb[] = L"Realtek USB GbE Family Controller";
    const wchar_t wsl[] = L"Hyper-V Virtual Ethernet Adapter";
    sim->SetDefaultAdapters();
    Config("[NET]\r\nNET=A\r\nAutoSwitch=1\r\nAdapter=1\r\n" + profiles);
    Create();
    ASSERT_TRUE(window->netEvent1->Watching());

    // The cable out; the Wi-Fi coming into range is no cable back.
    sim->RaiseMediaEvent(false, wired);
    PumpFor(300);
    sim->RaiseMediaEvent(true, wifi);
    PumpFor(300);
    EXPECT_EQ(Read(L"NET", L"NET"), L"A");
    EXPECT_TRUE(sim->Calls().empty());
    // The cable back switches, once, and only the wired adapter.
    sim->RaiseMediaEvent(true, wired);
    ASSERT_TRUE(PumpUntil([&] { return Read(L"NET", L"NET") == L"B"; }));
    sim->RaiseMediaEvent(true, wired);
    PumpFor(300);
    EXPECT_EQ(Read(L"NET", L"NET"), L"B") << "a second connect within the minute";
    for (const TSimCall& call : sim->Calls())
        EXPECT_EQ(call.AdapterIndex, 1) << TSimulatedWmi::Describe(call);

    // No adapter named: a physical adapter's events count, a virtual one's do not.
    Config("[NET]\r\nNET=B\r\nAutoSwitch=1\r\n" + profiles);
    sim->ClearCalls();
    sim->RaiseMediaEvent(false, wsl);
    PumpFor(300);
    sim->RaiseMediaEvent(true, usb);
    PumpFor(300);
    EXPECT_TRUE(sim->Calls().empty()) << "a virtual adapter went down, no cable";
    sim->RaiseMediaEvent(false, usb);
    PumpFor(300);
    sim->RaiseMediaEvent(true, usb);
    ASSERT_TRUE(PumpUntil([&] { return Read(L"NET", L"NET") == L"A"; }));
}

// Only administrators may read the media events: a portable copy that is not elevated says at
// once that automatic switching is unavailable, though Wine lets it subscribe.
TEST_F(MainWindow, NotElevatedAPortableCopySaysAutomaticSwitchingIsUnavailable) {
    Config("[NET]\r\nNET=A\r\nAutoSwitch=1\r\n" + profiles);
    const ScopedSeam notElevated(&SetProcessElevatedFunction, [] { return false; });
    Create();
    EXPECT_FALSE(window->Served());
    EXPECT_EQ(window->TrayHint(), L"Office\n自动切换暂不可用");
}

TEST_F(MainWindow, WatcherThatCannotSubscribeAtStartComesBackWithoutABox) {
    const std::wstring connectQuery = L"select * from MSNdis_StatusMediaConnect";
    sim->SetNotificationQueryError(connectQuery, WBEM_E_SHUTTING_DOWN);
    Config("[NET]\r\nNET=A\r\nAutoSwitch=1\r\n" + profiles);
    Create();
    window->netEvent1->SetRetryPauses(20, 80);
    const TEventInfoHolder& connect = *window->netEvent1->Registrations()[0];
    EXPECT_EQ(window->TrayIcon1->Hint(), L"Office\n自动切换暂不可用");
    ASSERT_TRUE(PumpUntil([&] { return connect.Failures >= 3; }, 5000));
    EXPECT_EQ(window->TrayIcon1->Hint(), L"Office\n自动切换暂不可用");

    sim->SetNotificationQueryError(connectQuery, S_OK);
    ASSERT_TRUE(PumpUntil([&] { return window->netEvent1->Watching(); }, 5000));
    EXPECT_EQ(window->TrayIcon1->Hint(), L"Office");
    EXPECT_TRUE(messages.empty()) << "no box for what mends itself";

    // Without the option nothing is missing.
    sim->SetNotificationQueryError(connectQuery, WBEM_E_SHUTTING_DOWN);
    sim->FailNextEvent(WBEM_E_SHUTTING_DOWN);
    ASSERT_TRUE(PumpUntil([&] { return !window->netEvent1->Watching(); }, 5000));
    EXPECT_EQ(window->TrayIcon1->Hint(), L"Office\n自动切换暂不可用");
    Config("[NET]\r\nNET=A\r\nAutoSwitch=0\r\n" + profiles);
    EXPECT_EQ(window->TrayHint(), L"Office");
    sim->ResetBehaviour();
}
