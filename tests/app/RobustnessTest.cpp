// The main window against damaged Config.ini files and injected faults: each ends with a clear
// message or none, and Config.ini keeps every byte the program had no reason to change.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "core/NetshEngine.h"
#include "app/ProgressWindow.h"
#include "core/Settings.h"
#include "core/WmiEngine.h"
#include "fakes/SimulatedWmi.h"
#include "framework/Application.h"
#include "framework/Strings.h"
#include "support/DialogAnswerer.h"
#include "support/MessageBoxes.h"
#include "support/Seams.h"
#include "support/FakeNetsh.h"
#include "support/Pumping.h"
#include "support/TempFolder.h"

namespace {

std::wstring TestFolder() {
    wchar_t path[MAX_PATH] = {};
    const std::wstring exe(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return exe.substr(0, exe.find_last_of(L"\\/") + 1);
}

const wchar_t kHuge[] = L"huge (generated)";

// Every file of the corpus, copied beside the test program by the build, and the huge one.
std::vector<std::wstring> CorpusNames() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const std::wstring pattern = TestFolder() + L"damaged-config\\*.ini";
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            names.emplace_back(found.cFileName);
        while (FindNextFileW(search, &found));
        FindClose(search);
    }
    names.emplace_back(kHuge);
    return names;
}

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return bytes;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;)
        bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

// A few megabytes: a working file buried under sections nobody reads.
std::string HugeConfig() {
    std::string text = "[NET]\r\nNET=B\r\n";
    for (int i = 0; text.size() < 6 * 1024 * 1024; ++i)
        text += "[Filler" + std::to_string(i) + "]\r\nKey=" + std::string(200, 'x') + "\r\n";
    return text + "[A]\r\nName=Office\r\nIPAddress=10.0.0.5\r\nDNSEnabled=1\r\n"
                  "[B]\r\nName=Internet\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n";
}

// The file as text: UTF-16 as such, anything else one character per byte, so every byte counts.
std::wstring Text(const std::string& bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    std::wstring text;
    for (const char c : bytes)
        text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return text;
}

// The non-empty lines of a text, whatever breaks them.
std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t begin = 0;
    for (size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == L'\r' || text[i] == L'\n') {
            if (i > begin) lines.push_back(Trim(text.substr(begin, i - begin)));
            begin = i + 1;
        }
    return lines;
}

// "NET=<anything>" in any case and with any blanks, or exactly NET=value when one is given.
bool IsNetLine(const std::wstring& line, const std::wstring& value = L"*") {
    const size_t equals = line.find(L'=');
    return equals != std::wstring::npos && SameText(Trim(line.substr(0, equals)), L"NET") &&
           (value == L"*" || Trim(line.substr(equals + 1)) == value);
}

// Empty when after is before with at most NET=... lines changed to NET=profile, or added
// (under a new [NET] header); otherwise the first line lost or written besides.
std::wstring ChangeBeyondTheNetKey(const std::string& before, const std::string& after,
                                   const std::wstring& profile) {
    const std::wstring a = Text(before), b = Text(after);
    size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    // The whole lines around what differs.
    const auto lineBreak = [](wchar_t c) { return c == L'\r' || c == L'\n'; };
    while (head > 0 && !lineBreak(a[head - 1]))
        --head;
    while (tail > 0 && !lineBreak(a[a.size() - tail]))
        --tail;
    for (const std::wstring& line : Lines(a.substr(head, a.size() - tail - head)))
        if (!IsNetLine(line)) return L"lost: " + line;
    for (const std::wstring& line : Lines(b.substr(head, b.size() - tail - head)))
        if (!IsNetLine(line, profile) && !SameText(line, L"[NET]")) return L"written: " + line;
    return L"";
}

class Robustness : public ::testing::Test {
protected:
    void SetUp() override {
        sim = &TSimulatedWmi::Install();
        sim->SetTwoAdapters();
        configPath = TestFolder() + L"Config.ini";
    }
    void TearDown() override {
        owner.DestroyComponents();
        CloseProgress();
        TSimulatedWmi::Uninstall();
        DeleteFileW(configPath.c_str());
    }

    void Config(const std::string& bytes) {
        original = bytes;
        FILE* f = _wfopen(configPath.c_str(), L"wb");
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        // Wine's profile cache knows a file by its name and time of writing: the previous
        // case's file, written within the same tick of the file system's clock, would still be
        // what it reads and writes.
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, configPath.c_str());
    }
    std::string Current() const { return ReadFileBytes(configPath); }
    TfrmMainWindow* Create() {
        DialogAnswerer answerer; // a first run opens the dialog; 取消 leaves it
        return window = owner.Own<TfrmMainWindow>(true);
    }
    void FailEveryMethodWith(long code) {
        for (const wchar_t* method :
             {L"EnableDHCP", L"EnableStatic", L"SetGateways", L"SetDNSServerSearchOrder"})
            sim->SetResult(method, code);
    }
    // One box, the switch's failure with its cause on the second line; the profile unchanged.
    void ExpectFailureSaidAndNothingLost(const std::wstring& cause) {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], L"切换IP地址不成功，请检查你您的ip设置.\n" + cause);
        EXPECT_EQ(ProgressWindow(), nullptr);
        EXPECT_EQ(window->AANetB->Caption(), L"√外网");
        EXPECT_EQ(window->AANetA->Caption(), L"×内网");
        EXPECT_TRUE(Current() == original) << "Config.ini was rewritten";
    }

    const std::string profiles = "[NET]\r\nNET=B\r\n"
                                 "[A]\r\nName=Office\r\nIPAddress=10.0.0.5\r\nDNSEnabled=1\r\n"
                                 "[B]\r\nName=Internet\r\nDHCPEnabled=1\r\nDNSEnabled=1\r\n";
    TComponent owner;
    TSimulatedWmi* sim = nullptr;
    TfrmMainWindow* window = nullptr;
    std::vector<std::wstring> messages;
    std::vector<UINT> boxFlags;
    const ScopedMessageBoxes recorder{
        [this](const std::wstring& text, const std::wstring&, UINT flags) {
            messages.push_back(text);
            boxFlags.push_back(flags);
            return IDOK;
        }};
    std::wstring configPath;
    std::string original;
};

class DamagedConfig : public Robustness, public ::testing::WithParamInterface<std::wstring> {
protected:
    void SetUp() override {
        Robustness::SetUp();
        Config(GetParam() == kHuge
                   ? HugeConfig()
                   : ReadFileBytes(TestFolder() + L"damaged-config\\" + GetParam()));
    }
};

TEST_P(DamagedConfig, StartsSwitchesAndEndsChangingNothingButTheActiveProfile) {
    TWatchdog watchdog(120);
    ASSERT_TRUE(GetParam() == kHuge || !original.empty() || GetParam() == L"empty.ini");
    Create();
    ASSERT_TRUE(window->HandleAllocated());
    EXPECT_TRUE(Current() == original) << "rewritten at start";

    {
        DialogAnswerer answerer;
        window->lbl1Click(window->lbl1);
        EXPECT_EQ(answerer.Opened, 1);
    }
    EXPECT_TRUE(Current() == original) << "rewritten by a cancelled dialog";

    FailEveryMethodWith(66);
    messages.clear();
    EXPECT_NE(window->SwitchTo(L"A"), 0);
    EXPECT_EQ(messages.size(), 1u) << "the failure is said";
    EXPECT_TRUE(Current() == original) << "rewritten by a failed switch";

    {
        const ScopedSeam notElevated(&SetProcessElevatedFunction, [] { return false; });
        FailEveryMethodWith(91);
        messages.clear();
        EXPECT_NE(window->SwitchTo(L"A"), 0);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(L"管理员"), std::wstring::npos) << "the refusal is said";
        EXPECT_TRUE(Current() == original) << "rewritten by a refused switch";
    }

    sim->ResetBehaviour();
    messages.clear();
    EXPECT_EQ(window->SwitchTo(L"A"), 0);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(window->AANetA->Caption(), L"√内网");
    EXPECT_EQ(TIniFile(configPath).ReadString(L"NET", L"NET", L""), L"A");
    EXPECT_EQ(ChangeBeyondTheNetKey(original, Current(), L"A"), L"");

    // 退出 ends the program.
    Application().SetMainForm(window);
    window->Exit1->Click();
    Application().SetMainForm(nullptr);
    EXPECT_FALSE(window->HandleAllocated());
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Robustness, MethodRaisingMidwayOrServiceGoneIsSaidAndNothingIsLost) {
    Config(profiles);
    Create();
    // The first method works; then the service goes away (RPC server unavailable) or the
    // provider fails.
    for (const HRESULT error :
         {static_cast<HRESULT>(0x800706BA), static_cast<HRESULT>(0x80041001)}) {
        sim->ResetBehaviour();
        sim->SetRaise(L"SetDNSServerSearchOrder", error);
        messages.clear();
        EXPECT_NE(window->SwitchTo(L"A"), 0);
        ASSERT_EQ(messages.size(), 1u);
        const size_t cause = messages[0].find(L'\n');
        ASSERT_NE(cause, std::wstring::npos) << "no cause: " << messages[0];
        EXPECT_GT(messages[0].size(), cause + 1) << "an empty cause";
        ExpectFailureSaidAndNothingLost(messages[0].substr(cause + 1));
    }
}

TEST_F(Robustness, UnreachableWmiAtTheDialogIsSaidAndTheDialogStillOpens) {
    Config(profiles);
    Create();
    sim->SetServiceError(static_cast<HRESULT>(0x800706BA));
    DialogAnswerer answerer;
    window->lbl1Click(window->lbl1);
    EXPECT_EQ(answerer.Opened, 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(boxFlags[0] & MB_ICONERROR) << "the standard error box";
    EXPECT_EQ(messages[0].substr(0, messages[0].find(L'\n')), L"无法连接到 WMI 服务。");
    EXPECT_NE(messages[0].find(L"800706BA"), std::wstring::npos) << messages[0];
    EXPECT_TRUE(Current() == original);
}

TEST_F(Robustness, NetshMissingOrFailingIsSaidAndNothingIsLost) {
    Config("[NET]\r\nMethod=B\r\n" + profiles.substr(7));
    Create();
    {
        const ScopedSeam missing(&SetNetshProgram, TestFolder() + L"missing\\netsh.exe");
        EXPECT_NE(window->SwitchTo(L"A"), 0);
        ExpectFailureSaidAndNothingLost(L"netsh 无法启动");
    }

    TempFolder folder;
    ScopedFakeNetsh netsh(folder.File(L"netsh.log"));
    netsh.SetExitCodes(L"5");
    messages.clear();
    EXPECT_NE(window->SwitchTo(L"A"), 0);
    ExpectFailureSaidAndNothingLost(L"netsh 返回 5");
}

TEST_F(Robustness, FailingEventSourceAtStartIsTriedAgainSilentlyAndSwitchingStillWorks) {
    Config(profiles);
    sim->SetNotificationQueryError(L"select * from MSNdis_StatusMediaConnect",
                                   static_cast<HRESULT>(0x80041003)); // access denied
    Create();
    ASSERT_TRUE(window->HandleAllocated());
    EXPECT_TRUE(messages.empty()) << "the watcher tries again by itself";
    EXPECT_NE(window->netEvent1->Registrations()[0]->RetryDelay, 0u);
    EXPECT_EQ(window->AANetB->Caption(), L"√外网") << "the rest of the start-up ran";
    EXPECT_TRUE(window->Timer1->Enabled());
    EXPECT_TRUE(Current() == original);
    sim->ResetBehaviour();
    EXPECT_EQ(window->SwitchTo(L"A"), 0);
    EXPECT_EQ(TIniFile(configPath).ReadString(L"NET", L"NET", L""), L"A");
}

TEST_F(Robustness, AutoSwitchAskedForWhileTheNetworkCannotBeWatchedIsSaidWithItsCause) {
    Config("[NET]\r\nNET=B\r\nAutoSwitch=1\r\n" + profiles.substr(14));
    sim->SetNotificationQueryError(L"select * from MSNdis_StatusMediaConnect",
                                   static_cast<HRESULT>(0x80041003)); // access denied
    Create();
    EXPECT_TRUE(messages.empty()) << "silent at start";
    DialogAnswerer confirm(true);
    window->lbl1Click(window->lbl1);
    ASSERT_GE(messages.size(), 1u);
    EXPECT_EQ(messages[0].substr(0, messages[0].find(L'\n')),
              L"无法监视网络连接，自动切换暂不可用。");
    EXPECT_NE(messages[0].find(L": 80041003"), std::wstring::npos) << messages[0];
    EXPECT_TRUE(boxFlags[0] & MB_ICONERROR);
}

TEST_F(Robustness, ASwitchConfigIniCannotRecordIsSaidInTheUsersWords) {
    Config(profiles);
    Create();
    // Another program reads the file and lets nobody write it meanwhile.
    HANDLE held = CreateFileW(configPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    GuardedCall([&] { window->SwitchTo(L"A"); });
    CloseHandle(held);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"无法保存 Config.ini。\nUnable to write to " +
                                                  configPath});
    EXPECT_TRUE(Current() == original);
}

TEST_F(Robustness, ExplorerRestartingBringsTheIconBackWithTheActiveProfile) {
    Config(profiles);
    Create();
    std::vector<NOTIFYICONDATAW> added;
    const ScopedSeam addsOnly(&TTrayIcon::SetNotifyIconFunction,
                              [&](DWORD message, NOTIFYICONDATAW* data) {
                                  if (message == NIM_ADD) added.push_back(*data);
                                  return TRUE;
                              });
    PostMessageW(HWND_BROADCAST, TTrayIconHandler::TaskbarCreatedMessage(), 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !added.empty(); }));
    EXPECT_EQ(std::wstring(added[0].szTip), L"Internet");
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(Current() == original);
}

TEST_F(Robustness, LogOffWithTheDialogOpenEndsWithoutWritingAnything) {
    Config(profiles);
    Create();
    std::vector<LRESULT> answers;
    DialogAnswerer answerer;
    answerer.WhileOpen = [&](TfrmConfig& dialog) {
        dialog.frmIPSetA->edtAIP->SetText(L"10.1.1.1"); // typed, never confirmed
        // As the system asks every top-level window, then tells them the session ends.
        for (HWND w : {dialog.Handle(), window->Handle()})
            answers.push_back(SendMessageW(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
        for (HWND w : {dialog.Handle(), window->Handle()})
            SendMessageW(w, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    };
    window->lbl1Click(window->lbl1);
    EXPECT_EQ(answerer.Opened, 1);
    EXPECT_EQ(answers, (std::vector<LRESULT>{TRUE, TRUE})) << "nothing holds up the log-off";
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "the end of the session ends the message loops";
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(Current() == original);
    EXPECT_TRUE(window->Close()) << "the session is ending: the window may close";
}

std::string TestName(const ::testing::TestParamInfo<std::wstring>& info) {
    std::string name;
    for (const wchar_t c : info.param)
        name += (c < 128 && std::iswalnum(c)) ? static_cast<char>(c) : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedConfig, ::testing::ValuesIn(CorpusNames()), TestName);

} // namespace
