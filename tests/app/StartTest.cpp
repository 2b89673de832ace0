// How the program starts: one instance per session and the requests a later start hands over,
// names another program made first, the restart as administrator, and the execution level its
// manifest asks for.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/ElevatedRestart.h"
#include "app/SingleInstance.h"
#include "core/Settings.h"
#include "core/WmiEngine.h"
#include "framework/Application.h"
#include "framework/Scoped.h"
#include "support/Seams.h"
#include "support/TempFolder.h"

namespace {

TEST(StartRequest, OnlyASwitchToAOrBIsARequestBesidesShowing) {
    EXPECT_EQ(ParseStartRequest(L"Tarnwick.exe"), TInstanceRequest::Show);
    EXPECT_EQ(ParseStartRequest(L"Tarnwick.exe --simulate"), TInstanceRequest::Show);
    EXPECT_EQ(ParseStartRequest(L"Tarnwick.exe --switch=A"), TInstanceRequest::SwitchToA);
    EXPECT_EQ(ParseStartRequest(L"Tarnwick.exe --simulate --switch=B"),
              TInstanceRequest::SwitchToB);
    for (const wchar_t* bad : {L"--switch=C", L"--switch", L"--switch=", L"--switch=a",
                               L"--switch=AB", L"--switch=A --switch=X", L"--switches=A"})
        EXPECT_FALSE(ParseStartRequest(std::wstring(L"Tarnwick.exe ") + bad)) << bad;
    EXPECT_EQ(RequestedProfile(TInstanceRequest::SwitchToB), L"B");
    EXPECT_EQ(RequestedProfile(TInstanceRequest::Show), L"");
}

// A request as it crosses: the instance's tag and the payload it expects, both changeable.
struct TRawRequest {
    ULONG_PTR Tag = 0x5457494E;
    uint32_t Payload[3] = {0x54575251, 3, 0};
    DWORD Size = 8;
    LRESULT SendTo(HWND window) {
        COPYDATASTRUCT data{Tag, Size, Payload};
        return SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    }
};

TEST(SingleInstance, ASecondStartIsNotTheInstanceAndItsRequestsReachTheFirst) {
    const std::wstring name = L"TarnwickTest" + std::to_wstring(GetCurrentProcessId());
    TSingleInstance first(name);
    ASSERT_TRUE(first.First());
    TSingleInstance second(name);
    EXPECT_FALSE(second.First());
    EXPECT_FALSE(SendInstanceRequest(name, TInstanceRequest::Show, 100)) << "not listening yet";

    std::vector<TInstanceRequest> heard;
    int64_t answer = 0;
    first.Listen([&](TInstanceRequest r) {
        heard.push_back(r);
        return answer;
    });
    EXPECT_TRUE(InstanceListening(name));
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::Show, 100), 0);
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::SwitchToB, 100), 0);
    answer = 66;
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 100), 1) << "failed";
    EXPECT_EQ(heard,
              (std::vector<TInstanceRequest>{TInstanceRequest::Show, TInstanceRequest::SwitchToB,
                                             TInstanceRequest::SwitchToA}));

    // Anything but one of the three, in the one form, is not taken.
    const HWND window = FindWindowExW(HWND_MESSAGE, nullptr, (name + L"Instance").c_str(), nullptr);
    ASSERT_TRUE(window);
    TRawRequest valid;
    EXPECT_NE(valid.SendTo(window), 0);
    heard.clear();
    TRawRequest tag, shorter, longer, magic, zero, four;
    tag.Tag = 0x4E455453;
    shorter.Size = 7;
    longer.Size = 12;
    magic.Payload[0] = 0;
    zero.Payload[1] = 0;
    four.Payload[1] = 4;
    for (TRawRequest* bad : {&tag, &shorter, &longer, &magic, &zero, &four})
        EXPECT_EQ(bad->SendTo(window), 0);
    EXPECT_EQ(SendMessageW(window, WM_COPYDATA, 0, 0), 0) << "no data";
    EXPECT_TRUE(heard.empty());

    // Given up, the instance can be taken by another start, and taken back once that one goes.
    first.Release();
    EXPECT_FALSE(InstanceListening(name));
    EXPECT_TRUE(second.Claim());
    EXPECT_FALSE(first.Claim());
    second.Release();
    EXPECT_TRUE(first.Claim());
    EXPECT_TRUE(InstanceListening(name)) << "listening again with its handler";
}

// Another program holding the instance's names, as tests/app/InstanceSquatter.cpp makes them:
// the mutex, and a window that answers every request as done. Its program is the squatter
// beside this test program unless another path is given. Ended with the test.
class Squatter {
public:
    explicit Squatter(const std::wstring& name,
                      const std::wstring& program = ExecutableFolder() + L"instance_squatter.exe") {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        std::wstring line = L"\"" + program + L"\" " + name;
        if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &started))
            return;
        FProcess.Reset(started.hProcess);
        const ScopedHandle thread(started.hThread);
        const ULONGLONG until = GetTickCount64() + 10000;
        while (!(FWindow = WindowOf(name, started.dwProcessId)) && GetTickCount64() < until &&
               WaitForSingleObject(FProcess.Get(), 50) == WAIT_TIMEOUT) {
        }
    }
    ~Squatter() {
        if (FWindow) PostMessageW(FWindow, WM_CLOSE, 0, 0);
        if (FProcess && WaitForSingleObject(FProcess.Get(), 5000) != WAIT_OBJECT_0)
            TerminateProcess(FProcess.Get(), 1);
    }
    Squatter(const Squatter&) = delete;
    Squatter& operator=(const Squatter&) = delete;
    HWND Window() const { return FWindow; }

private:
    static HWND WindowOf(const std::wstring& name, DWORD process) {
        const std::wstring windowClass = name + L"Instance";
        for (HWND w = nullptr;
             (w = FindWindowExW(HWND_MESSAGE, w, windowClass.c_str(), nullptr));) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == process) return w;
        }
        return nullptr;
    }
    ScopedHandle FProcess;
    HWND FWindow = nullptr;
};

TEST(SquattedNames, AnotherProgramsNamesNeitherAnswerNorKeepAnElevatedStartFromRunning) {
    const std::wstring name = L"TarnwickSquat" + std::to_wstring(GetCurrentProcessId());
    Squatter squatter(name);
    ASSERT_TRUE(squatter.Window()) << "the squatter did not start";
    EXPECT_FALSE(TrustedInstanceWindow(squatter.Window()));
    EXPECT_FALSE(InstanceListening(name));
    EXPECT_FALSE(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 200))
        << "the squatter's answer was taken";

    TSingleInstance start(name);
    EXPECT_FALSE(start.First()) << "the squatter holds the mutex";
    {
        const ScopedSeam unelevated(&SetProcessElevatedFunction, [] { return false; });
        EXPECT_EQ(start.HandRequestOver(TInstanceRequest::SwitchToA, 200), 1);
        EXPECT_FALSE(start.First());
    }
    const ScopedSeam elevated(&SetProcessElevatedFunction, [] { return true; });
    EXPECT_EQ(start.HandRequestOver(TInstanceRequest::SwitchToB, 200), std::nullopt)
        << "an elevated start goes on as the instance";
    ASSERT_TRUE(start.First());
    std::vector<TInstanceRequest> heard;
    start.Listen([&](TInstanceRequest r) {
        heard.push_back(r);
        return 0;
    });
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 1000), 0);
    EXPECT_EQ(heard, std::vector<TInstanceRequest>{TInstanceRequest::SwitchToA})
        << "the request went to the squatter";

    // Given up to a copy, the instance is that copy's while it listens, and this one's again
    // once it goes, though the mutex stays the squatter's throughout.
    start.Release();
    TSingleInstance copy(name);
    EXPECT_EQ(copy.HandRequestOver(TInstanceRequest::Show, 200), std::nullopt);
    copy.Listen([](TInstanceRequest) { return 0; });
    EXPECT_FALSE(start.Claim());
    copy.Release();
    EXPECT_TRUE(start.Claim());
    EXPECT_TRUE(InstanceListening(name)) << "listening again with its handler";
}

TEST(SquattedNames, ACopyNamedTarnwickInAUserFolderIsNotTrusted) {
    const std::wstring name = L"TarnwickCopy" + std::to_wstring(GetCurrentProcessId());
    TempFolder folder;
    ASSERT_TRUE(CopyFileW((ExecutableFolder() + L"instance_squatter.exe").c_str(),
                          folder.File(L"Tarnwick.exe").c_str(), TRUE));
    Squatter squatter(name, folder.File(L"Tarnwick.exe"));
    ASSERT_TRUE(squatter.Window()) << "the copy did not start";
    EXPECT_FALSE(TrustedInstanceWindow(squatter.Window()));
    EXPECT_FALSE(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 200));
}

TEST(SquattedNames, AnElevatedStartTrustsOnlyAnElevatedInstance) {
    const std::wstring name = L"TarnwickLevel" + std::to_wstring(GetCurrentProcessId());
    TSingleInstance first(name);
    first.Listen([](TInstanceRequest) { return 0; });
    bool instanceElevated = false;
    std::vector<DWORD> asked;
    const ScopedSeam level(&SetInstanceElevatedFunction, [&](HANDLE process) {
        asked.push_back(GetProcessId(process));
        return instanceElevated;
    });
    bool callerElevated = true;
    const ScopedSeam caller(&SetProcessElevatedFunction, [&] { return callerElevated; });
    EXPECT_FALSE(InstanceListening(name));
    EXPECT_FALSE(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 100));
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), GetCurrentProcessId()) << "asked of another process than the window's";
    instanceElevated = true;
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 100), 0);
    // An unelevated start may ask any Tarnwick: it cannot trust less than itself.
    instanceElevated = false;
    callerElevated = false;
    EXPECT_EQ(SendInstanceRequest(name, TInstanceRequest::SwitchToA, 100), 0);
}

TEST(ElevatedRestart, RunsThisExeThroughRunasWithTheSameOptionsAndTheSwitch) {
    EXPECT_EQ(ElevatedCopyParameters(L"Tarnwick.exe", L"A"), L"--switch=A");
    EXPECT_EQ(ElevatedCopyParameters(L"\"C:\\Program Files\\Tarnwick\\Tarnwick.exe\" --simulate "
                                     L"--switch=A \"--exit-when-idle=C:\\a b\\f.txt\"",
                                     L"B"),
              L"--simulate \"--exit-when-idle=C:\\a b\\f.txt\" --switch=B");
    EXPECT_EQ(ElevatedCopyParameters(L"x.exe \"a\\\"b\" \"c d\\\\\"", L"A"),
              L"\"a\\\"b\" \"c d\\\\\" --switch=A")
        << "read back as the same arguments";

    std::vector<std::wstring> calls;
    BOOL started = FALSE;
    const ScopedSeam shell(&SetShellExecuteFunction, [&](SHELLEXECUTEINFOW* info) {
        calls.push_back(std::wstring(info->lpVerb) + L"|" + info->lpFile + L"|" +
                        info->lpParameters);
        return started;
    });
    EXPECT_FALSE(StartElevatedCopy(L"B")) << "the prompt refused";
    started = TRUE;
    EXPECT_TRUE(StartElevatedCopy(L"A"));
    ASSERT_EQ(calls.size(), 2u);
    const std::wstring head = L"runas|" + Application().ExeName() + L"|";
    EXPECT_EQ(calls[1].rfind(head, 0), 0u) << calls[1];
    EXPECT_EQ(calls[1].substr(calls[1].size() - 10), L"--switch=A");
}

TEST(Manifest, AsksForTheHighestAvailableLevel) {
    // The program built beside this test program's folder, read as data.
    const std::wstring program = ExecutableFolder() + L"..\\src\\app\\Tarnwick.exe";
    const HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module) << "build Tarnwick";
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(found);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(bytes, SizeofResource(module, found));
    FreeLibrary(module);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"highestAvailable\""),
              std::string::npos);
    EXPECT_EQ(manifest.find("asInvoker"), std::string::npos);
}
} // namespace
